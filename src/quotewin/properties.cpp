#include "quotewin/properties.h"

#include "quotewin/numbertext.h"

#include <climits>

int ParseRefreshInterval(const std::string& text)
{
    const int minutes = ParseIntLikeAtoi(text);
    return minutes <= 0 ? 1 : minutes;
}

int RefreshPeriodMs(int intervalMinutes, int millisecondsPerMinute)
{
    // A typed interval of more than about 35,000 minutes would overflow the period; cap it.
    const long long period = static_cast<long long>(intervalMinutes) * millisecondsPerMinute;
    if (period > INT_MAX)
        return INT_MAX;
    return period < 1 ? 1 : static_cast<int>(period);
}

bool TickerSettingsChanged(bool easternTimeBefore, int refreshIntervalBefore, const QuoteEntry& after)
{
    return after.easternTime != easternTimeBefore || after.refreshInterval != refreshIntervalBefore;
}
