#pragma once

#include "quote/quoteentry.h"
#include "quote/quoterecord.h"

#include <cstdint>

class CGraph;

// What a successful retrieval hands the chart: the new row, then the 24 info lines on the last
// series. False when the chart has no series, in which case nothing is to be drawn.
bool ApplyQuoteToChart(CGraph& chart, const QuoteRecord& quote, const QuoteEntry& entry, std::int64_t now);
