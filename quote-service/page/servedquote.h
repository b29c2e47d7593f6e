#pragma once

#include <QByteArray>
#include <cstdint>

// Everything one quote page shows, as the page prints it. A figure the page leaves open is "N/A".
struct ServedQuote {
    QByteArray last, high, low, open, previousClose, bid, ask, yearHigh, yearLow;
    QByteArray priceEarnings, earningsPerShare, dividendPerShare, dividendYield, forwardPriceEarnings;
    QByteArray returnOnEquity, beta;
    QByteArray change, changePercent; // signed, e.g. "+0.53" and "+1.98%"
    bool gain = true;
    QByteArray volume, averageVolume, institutionalOwnership, marketCap, sharesOutstanding, exchange, sales;
    int delayMinutes = 15;
    bool trading = false; // inside the session: the time text has no date
    QByteArray timeText; // "10:42am" or "Mar 7, 2005 4:00pm"
    std::int64_t quoteDay = 0; // Eastern date of the quote, days since 1970
    int quoteHour = 0; // Eastern wall clock
    int quoteMinute = 0;

    bool operator==(const ServedQuote&) const = default;
};

// How every page prints its figures, simulated or live.
QByteArray FormatGrouped(std::int64_t value); // 12,345,678
// Two decimals, four below 1.00, or the provider's own places where it gives more (a currency
// pair at 1.0490); never more than six.
QByteArray FormatPrice(double price, int providerPlaces = 0);
int PricePlaces(double price, int providerPlaces = 0);
// "+0.53" at two places; a change that rounds to nothing at its places is "+0.00".
QByteArray FormatSigned(double value, int places = 2);
QByteArray FormatRatio(double value); // two decimals
QByteArray FormatScaled(double value); // two decimals and T, B, M or K: "4.87T", "14.59B"
QByteArray FormatOwnership(double percent); // "61.2%"
QByteArray FormatTimeText(std::int64_t dayNumber, int hour, int minute, bool withDate);
