#pragma once

#include "gateway/sources/quotesource.h"
#include "page/servedquote.h"

#include <cstdint>

// A live source's figures as the quote page prints them, the way the simulated pages print
// theirs; a figure the source did not give is left open ("N/A"). The quote's time shows its
// US Eastern wall clock, with its date in front unless it is today's Eastern date at nowUtc.
ServedQuote FormatLiveQuote(const LiveQuote& quote, std::int64_t nowUtc);

// What the page puts before the sales: the quote's own sign when the company reports in the
// currency it trades in, else the reporting currency's code ("CNY ", "EUR ").
QByteArray SalesSign(const QByteArray& tradingCurrency, const QByteArray& reportingCurrency);
