#pragma once

#include "quote/quoteentry.h"

#include <string>

// The refresh box's text read like atoi; anything that is not a positive number means 1 minute.
int ParseRefreshInterval(const std::string& text);

// Timer 1's period for an interval in minutes, kept within what a timer accepts.
int RefreshPeriodMs(int intervalMinutes, int millisecondsPerMinute = 60'000);

// After Properties closed with OK: the X-axis caption is renamed and timer 1 restarted only when
// the interval or the time basis changed.
bool TickerSettingsChanged(bool easternTimeBefore, int refreshIntervalBefore, const QuoteEntry& after);
