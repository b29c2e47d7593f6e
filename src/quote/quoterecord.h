#pragma once

#include <cstdint>
#include <string>

// The figures of one quote page at one moment. Missing figures are 0, missing texts empty.
struct QuoteRecord {
    std::int32_t delayMinutes = 0;
    double last = 0;
    double high = 0;
    double low = 0;
    double open = 0;
    double previousClose = 0;
    double bid = 0;
    double ask = 0;
    double yearHigh = 0;
    double yearLow = 0;
    double priceEarnings = 0;
    double earningsPerShare = 0;
    double dividendPerShare = 0;
    double dividendYield = 0;
    double forwardPriceEarnings = 0;
    double returnOnEquity = 0;
    double beta = 0;
    std::string change;
    std::string volume;
    std::string averageVolume;
    std::string institutionalOwnership;
    std::string marketCap;
    std::string sharesOutstanding;
    std::string exchange;
    std::string sales;
    std::int64_t quoteTime = 0; // seconds since 1970-01-01 UTC

    void Reset() { *this = QuoteRecord {}; }
    bool operator==(const QuoteRecord&) const = default;
};
