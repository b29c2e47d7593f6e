#pragma once

#include "quote/quoterecord.h"

#include <cstdint>
#include <string>
#include <vector>

// "%02d:%02d" of the local broken-down time: the quote's own stamp in Eastern-time mode,
// otherwise the machine's clock at the refresh (now).
std::string ChartTimeLabel(const QuoteRecord& record, bool easternTime, std::int64_t now);

// The five texts of one chart row: time label, last, previous close, high and low, the last two
// standing in with the last price when the page gave exactly 0.
std::vector<std::string> BuildChartRow(const QuoteRecord& record, bool easternTime, std::int64_t now);
