#pragma once

#include "catalogue.h"

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
};

// The simulated market: each security walks its own seeded path through each trading day
// (9:30 to 16:00 Eastern, Monday to Friday); the same security at the same minute always
// gives the same figures.
ServedQuote SimulateQuote(const Security& security, std::int64_t utcSeconds);
// A simulated quote says so wherever its page's name goes (window title, chart, printout, recent
// list): the company name ends in " (simulated)", and SimulateQuote's exchange reads "Simulated".
Security MarkedSimulated(const Security& security);

// Price path helpers, exposed for the day's consistency checks.
double ClosingPrice(const Security& security, std::int64_t dayNumber);
double PriceAtMinute(const Security& security, std::int64_t dayNumber, int minute); // 0..390
bool IsTradingDay(std::int64_t dayNumber);
std::int64_t PreviousTradingDay(std::int64_t dayNumber);

// How every page prints its figures, simulated or live.
QByteArray FormatGrouped(std::int64_t value); // 12,345,678
QByteArray FormatPrice(double price); // two decimals, four below 1.00
QByteArray FormatSigned(double value); // "+0.53"; a change that rounds to nothing is "+0.00"
QByteArray FormatRatio(double value); // two decimals
QByteArray FormatScaled(double value); // two decimals and T, B, M or K: "4.87T", "14.59B"
QByteArray FormatOwnership(double percent); // "61.2%"
QByteArray FormatTimeText(std::int64_t dayNumber, int hour, int minute, bool withDate);
