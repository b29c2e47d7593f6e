#pragma once

#include <cstdint>

// US Eastern Time from UTC by the US daylight-saving rule in force since 2007 (second Sunday of
// March to first Sunday of November, changes at 2:00 local time). The simulated market runs on it.
struct EasternTime {
    int year = 1970;
    int month = 1; // 1-12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int weekday = 4; // 0 Sunday .. 6 Saturday
    std::int64_t dayNumber = 0; // days since 1970-01-01 of the Eastern date
    bool daylightSaving = false;
};

std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);
int WeekdayFromDays(std::int64_t days); // 0 Sunday

bool IsUsDaylightSaving(std::int64_t utcSeconds);
EasternTime ToEastern(std::int64_t utcSeconds);
// UTC seconds of an Eastern wall-clock time (the earlier one when ambiguous).
std::int64_t FromEastern(std::int64_t dayNumber, int hour, int minute);
