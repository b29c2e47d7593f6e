#pragma once

#include "quote/quoterecord.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads back a quote data file as samples, so that a saved day can be drawn again.

struct DataFileContents {
    std::vector<QuoteRecord> samples; // date, time, last, change, high, low, P/E, ask, bid, beta
    int skippedLines = 0; // lines that are neither the header, empty nor a sample
};

// One sample line. The change text may itself hold tabs: it is everything between the
// current price and the last six figures.
std::optional<QuoteRecord> ParseDataFileLine(std::string_view line);

DataFileContents ReadDataFileText(std::string_view text);

// "03_07_2005_msft.txt" gives "MSFT"; empty when the name is not a data file name.
std::string SymbolFromDataFileName(std::string_view fileName);

// The previous close a replayed sample stands for: the last price less the change figure
// (the leading number of the change text).
double ReplayPreviousClose(const QuoteRecord& sample);
