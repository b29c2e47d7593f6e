#include "quote/numberparse.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

size_t SkipSpace(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    return i;
}

// A separator at text[i] belongs to the number when three digits and then no digit follow.
bool IsThousandsGroup(std::string_view text, size_t i)
{
    if (i + 3 >= text.size())
        return false;
    if (text[i] != ',' || !IsDigit(text[i + 1]) || !IsDigit(text[i + 2]) || !IsDigit(text[i + 3]))
        return false;
    return i + 4 == text.size() || !IsDigit(text[i + 4]);
}

} // namespace

double ParseLeadingNumber(std::string_view text)
{
    size_t i = SkipSpace(text);
    std::string number; // the number's bytes without separators, for from_chars
    number.reserve(32);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    size_t leading = 0;
    while (i < text.size() && IsDigit(text[i])) {
        number.push_back(text[i++]);
        ++leading;
    }
    // A first group starting with 0 ("0,845") is a decimal comma: the figure ends there.
    if (leading >= 1 && leading <= 3 && number.front() != '0') {
        while (i < text.size() && IsThousandsGroup(text, i)) {
            number.append(text.substr(i + 1, 3));
            i += 4;
        }
    }
    size_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        size_t j = i + 1;
        while (j < text.size() && IsDigit(text[j]))
            ++j;
        fraction = j - i - 1;
        if (leading > 0 || fraction > 0) {
            number.append(text.substr(i, j - i));
            i = j;
        }
    }
    if (leading == 0 && fraction == 0)
        return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        const size_t digitsStart = j;
        while (j < text.size() && IsDigit(text[j]))
            ++j;
        if (j > digitsStart)
            number.append(text.substr(i, j - i));
    }
    double value = 0.0;
    const char* first = number.data();
    const char* last = number.data() + number.size();
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Like strtod: overflow gives HUGE_VAL, underflow a zero.
        const size_t e = number.find_first_of("eE");
        const bool hugeExponent = e != std::string::npos && number.find('-', e) == std::string::npos;
        value = hugeExponent ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc {}) {
        value = 0.0;
    }
    (void)ptr;
    return negative ? -value : value;
}

std::int32_t ParseLeadingInt(std::string_view text)
{
    size_t i = SkipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    while (i < text.size() && IsDigit(text[i])) {
        value = value * 10 + (text[i++] - '0');
        if (value > kLimit)
            value = kLimit;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        value = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}
