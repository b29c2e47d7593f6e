#pragma once

#include "market/catalogue.h"
#include "page/servedquote.h" // the page record and its formats, which others reach through here

#include <QByteArray>
#include <cstdint>

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
