// The date-time text parser on arbitrary bytes; what it accepts must be a real clock time.
#include "platform/datetimeparser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = ParseDateTime0409(text);
    if (!parsed)
        return 0;
    const ParsedDateTime& d = *parsed;
    if (d.hour < 0 || d.hour > 23 || d.minute < 0 || d.minute > 59 || d.second < 0 || d.second > 59)
        std::abort();
    if (d.hasDate
        && (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31 || d.year < 1000 || d.year > 9999))
        std::abort();
    (void)BuildQuoteTime(d);
    return 0;
}
