#pragma once

#include "quote/quoterecord.h"

#include <string>
#include <vector>

// The 24 lines of a quote window's info panel, in panel order, code page 1252 like the record.
// Figures use "%.2f" in the classic locale whatever the process locale is.
std::vector<std::string> BuildInfoLines(const QuoteRecord& quote);
