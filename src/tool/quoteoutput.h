#pragma once

#include "quote/quoterecord.h"

#include <string>

// What kolpex-quote prints for a fetched quote, in UTF-8. The inputs are code page 1252.
std::string QuoteAsText(const std::string& companyName, const QuoteRecord& quote);
std::string QuoteAsJson(const std::string& companyName, const QuoteRecord& quote);

// A JSON number that reads back to the same double; null for the non-finite ones.
std::string JsonNumber(double value);
std::string JsonString(const std::string& cp1252);
