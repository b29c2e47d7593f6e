#pragma once

#include "markets/listentries.h"
#include "quote/quoteentry.h"

#include <cstddef>
#include <string>
#include <string_view>

class Notifier;

// The most a list file is read for; a record cut by this limit fails the length test.
constexpr std::size_t kMarketListReadLimit = 1000000;
constexpr std::size_t kMarketRecordLength = 63; // carriage return included

// Turns the bytes of a list file into entries, replacing what the array held. Only the first
// kMarketListReadLimit bytes count, and the text ends at the first zero byte. Each record line
// starts as a copy of defaultEntry. For a code outside the market table every record line tells
// the notifier "Unknown Market Name" (when one is given) and keeps defaultEntry's country code.
void ParseMarketList(std::string_view bytes, const std::string& code, const QuoteEntry& defaultEntry,
    EntryArray& entries, Notifier* notifier);
// The same into a list that keeps the bytes (a copy of them) and builds its entries when asked.
void ParseMarketList(std::string_view bytes, const std::string& code, const QuoteEntry& defaultEntry,
    ListEntries& entries, Notifier* notifier);

// "%s.TXT" for a market code.
std::string MarketListFileName(const std::string& code);
