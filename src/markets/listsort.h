#pragma once

#include "markets/listentries.h"
#include "quote/quoteentry.h"

#include <string>
#include <vector>

// The text an entry shows in a column; empty for a column that does not exist.
const std::string& ColumnText(const QuoteEntry& entry, int column);

// The leading decimal integer of a text, read like atoi (0 without one, saturated at the 32-bit range).
long long LeadingInteger(const std::string& text);

// Three-way comparison of two entries by one column: VOLUME by its leading integer, the others
// byte by byte as unsigned bytes, case-sensitively. Negative, 0 or positive.
int CompareEntries(const QuoteEntry& a, const QuoteEntry& b, int column);

// Puts the row indices into the order of column, ascending or descending. Rows with equal keys
// keep the order they came in.
void SortRows(std::vector<int>& rows, const EntryArray& entries, int column, bool descending);
void SortRows(std::vector<int>& rows, const ListEntries& entries, int column, bool descending);

// " Line: %6d / %6d" for the 0-based row of rowCount rows.
std::string StatusLineText(int row, int rowCount);
