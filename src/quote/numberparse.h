#pragma once

#include <cstdint>
#include <string_view>

// Conversions of scraped figures, read like atof/atoi in the classic locale whatever the
// process locale is: leading white space, a sign, digits, "." and a fraction, an exponent;
// reading stops at the first byte that cannot continue the number, no number gives 0.
//
// Unlike atof, a thousands separator is read as part of the number when it sits where one
// belongs: after one to three leading digits not starting with 0 (or an earlier such group) and
// followed by exactly three digits and then no further digit. So "1,234.50" is 1234.5, while
// "1,2345" is 1 and "0,845" is 0.
double ParseLeadingNumber(std::string_view text);

// atoi: white space, a sign, decimal digits; saturates at the 32-bit range instead of overflowing.
std::int32_t ParseLeadingInt(std::string_view text);
