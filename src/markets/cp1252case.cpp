#include "markets/cp1252case.h"

namespace {

unsigned char LowerByte(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<unsigned char>(c + 0x20);
    switch (c) {
    case 0x8A: // S caron
    case 0x8C: // OE
    case 0x8E: // Z caron
        return static_cast<unsigned char>(c + 0x10);
    case 0x9F: // Y diaeresis; its small letter sits at the very end of the page
        return 0xFF;
    default:
        return c;
    }
}

unsigned char UpperByte(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A:
    case 0x9C:
    case 0x9E:
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF:
        return 0x9F;
    default:
        return c;
    }
}

} // namespace

std::string LowerCp1252(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(LowerByte(static_cast<unsigned char>(c)));
    return text;
}

std::string UpperCp1252(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(UpperByte(static_cast<unsigned char>(c)));
    return text;
}
