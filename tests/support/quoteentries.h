#pragma once

#include "quote/quoteentry.h"

#include <string>

// A list entry with the fields the market lists, the list sort and the search read.
inline QuoteEntry Entry(const std::string& company, const std::string& symbol,
    const std::string& volume = "1", const std::string& listed = "")
{
    QuoteEntry e;
    e.countryCode = "US";
    e.companyName = company;
    e.symbol = symbol;
    e.volume = volume;
    e.listed = listed;
    return e;
}
