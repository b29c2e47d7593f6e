#include "market/easterntime.h"

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Day number of the n-th Sunday (n >= 1) of a month.
std::int64_t NthSunday(int year, int month, int n)
{
    const std::int64_t first = DaysFromCivil(year, month, 1);
    const int offset = (7 - WeekdayFromDays(first)) % 7;
    return first + offset + 7 * (n - 1);
}

} // namespace

// Howard Hinnant's civil calendar algorithms.
std::int64_t DaysFromCivil(int year, int month, int day)
{
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = FloorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day)
{
    const std::int64_t z = days + 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

int WeekdayFromDays(std::int64_t days)
{
    return int(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
}

bool IsUsDaylightSaving(std::int64_t utcSeconds)
{
    int year = 0, month = 0, day = 0;
    CivilFromDays(FloorDiv(utcSeconds, 86400), year, month, day);
    // 2:00 EST is 7:00 UTC; 2:00 EDT is 6:00 UTC.
    const std::int64_t start = NthSunday(year, 3, 2) * 86400 + 7 * 3600;
    const std::int64_t end = NthSunday(year, 11, 1) * 86400 + 6 * 3600;
    return utcSeconds >= start && utcSeconds < end;
}

EasternTime ToEastern(std::int64_t utcSeconds)
{
    EasternTime t;
    t.daylightSaving = IsUsDaylightSaving(utcSeconds);
    const std::int64_t local = utcSeconds + (t.daylightSaving ? -4 : -5) * 3600;
    t.dayNumber = FloorDiv(local, 86400);
    const std::int64_t secondOfDay = local - t.dayNumber * 86400;
    t.hour = int(secondOfDay / 3600);
    t.minute = int(secondOfDay % 3600 / 60);
    t.weekday = WeekdayFromDays(t.dayNumber);
    CivilFromDays(t.dayNumber, t.year, t.month, t.day);
    return t;
}

std::int64_t FromEastern(std::int64_t dayNumber, int hour, int minute)
{
    const std::int64_t wall = dayNumber * 86400 + hour * 3600 + minute * 60;
    const std::int64_t asDaylight = wall + 4 * 3600;
    if (IsUsDaylightSaving(asDaylight))
        return asDaylight;
    return wall + 5 * 3600;
}
