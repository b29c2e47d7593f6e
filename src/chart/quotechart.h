#pragma once

#include "quote/quoteentry.h"

#include <string>

class CGraph;

// Name of series 0: "Time ET (every %d min)" or "Time local (every %d min)".
std::string XAxisCaption(const QuoteEntry& entry);

// Caption "%s (%s)" of company name and symbol.
std::string QuoteChartTitle(const QuoteEntry& entry);

// The quote chart's caption and series: the X-axis caption, then "Today", "Prev. day close",
// "Heigh" and "Low" in blue, red, olive and green with marks of 3 pixels. Clears any rows.
void ComposeQuoteChart(CGraph& chart, const QuoteEntry& entry);
