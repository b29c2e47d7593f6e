#include "quotewin/chartrow.h"

#include "platform/clock.h"
#include "quotewin/numbertext.h"

#include <cstdio>

std::string ChartTimeLabel(const QuoteRecord& record, bool easternTime, std::int64_t now)
{
    const std::tm tm = Clock::LocalTime(easternTime ? record.quoteTime : now);
    char label[32];
    std::snprintf(label, sizeof label, "%02d:%02d", tm.tm_hour, tm.tm_min);
    return label;
}

std::vector<std::string> BuildChartRow(const QuoteRecord& record, bool easternTime, std::int64_t now)
{
    const double high = record.high == 0.0 ? record.last : record.high;
    const double low = record.low == 0.0 ? record.last : record.low;
    return { ChartTimeLabel(record, easternTime, now), FormatFixed2(record.last),
        FormatFixed2(record.previousClose), FormatFixed2(high), FormatFixed2(low) };
}
