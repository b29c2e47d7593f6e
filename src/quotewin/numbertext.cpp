#include "quotewin/numbertext.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::string FormatFixed2(double value)
{
    if (std::isnan(value))
        return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    if (result.ec != std::errc())
        return "0.00";
    return std::string(buffer, result.ptr);
}

int ParseIntLikeAtoi(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1; // saturate instead of overflowing
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

double ParseDoubleLikeAtof(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // from_chars takes neither a sign nor leading blanks, and stops at the longest valid prefix.
    double value = 0;
    const char* begin = text.data() + i;
    const char* end = text.data() + text.size();
    if (begin < end && *begin != '+' && *begin != '-') {
        const auto result = std::from_chars(begin, end, value, std::chars_format::general);
        if (result.ec == std::errc::result_out_of_range) {
            // Like strtod: an overflowing prefix is HUGE_VAL, an underflowing one 0.
            value = std::strtod(std::string(begin, end).c_str(), nullptr);
        } else if (result.ec != std::errc()) {
            value = 0;
        }
    }
    return negative ? -value : value;
}
