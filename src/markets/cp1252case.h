#pragma once

#include <string>

// Case mapping of Windows code page 1252, one byte at a time: A-Z, the accented capitals
// 0xC0-0xDE (but the multiplication sign 0xD7) and the four letters of the 0x80 row.
// Every other byte, ß included, stays as it is.
std::string LowerCp1252(std::string text);
std::string UpperCp1252(std::string text);
