#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Date and time texts as US English (locale 0x0409) writes them: a clock time "4:00pm",
// "16:05", "9:30:15 AM", "4 PM", optionally after a date "3/7/2005", "03-07-05", "Mar 7, 2005",
// "March 7 2005", "7 Mar 2005" (a weekday name may lead). Anything else is rejected.
struct ParsedDateTime {
    int year = 1899; // a text with a clock time only carries no date: the year stays 1899
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool hasDate = false;
};

std::optional<ParsedDateTime> ParseDateTime0409(std::string_view text);

// The moment of the parsed clock time, seconds 0, as local time with the system deciding on
// daylight saving. Years before 2000 take today's local date (Clock::Now()).
std::int64_t BuildQuoteTime(const ParsedDateTime& parsed);
