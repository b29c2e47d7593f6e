#pragma once

#include <string>
#include <string_view>

// One of the seven markets the program knows, in menu order.
struct MarketInfo {
    const char* caption; // menu item, tooltip and status-bar prompt
    int commandId; // the "Markets" command
    int listKind; // tells a new list window which file to load
    const char* code; // market code; the list file is code + ".TXT"
    const char* countryCode; // what entries of this market carry
    const char* windowTitle; // title of the market's list window
};

constexpr int kMarketCount = 7;
extern const MarketInfo kMarkets[kMarketCount];

// Null when nothing matches. Codes and captions compare exactly.
const MarketInfo* MarketByCommand(int commandId);
const MarketInfo* MarketByListKind(int listKind);
const MarketInfo* MarketByCode(std::string_view code);
const MarketInfo* MarketByCaption(std::string_view caption);

// "US", "CA" or "GB" for a market code of the table; null for any other text.
const char* CountryCodeForMarket(std::string_view code);
