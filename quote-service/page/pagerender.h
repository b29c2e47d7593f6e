#pragma once

#include "market/catalogue.h"
#include "market/market.h"

#include <QByteArray>

// Escapes a code page 1252 text for the page, using only references the program turns back.
QByteArray HtmlText(const QByteArray& text);

QByteArray RenderQuotePage(const Security& security, const ServedQuote& quote);
QByteArray RenderNotFoundPage(const QByteArray& countrySymbol);
QByteArray RenderErrorPage(int status, const QByteArray& reason);
// The quote page followed by filler up to totalBytes.
QByteArray RenderHugePage(const Security& security, const ServedQuote& quote, qsizetype totalBytes);

inline constexpr qsizetype kMinPageBytes = 50 * 1024;
inline constexpr qsizetype kMaxPageBytes = 97 * 1000; // stays under the program's 100,000-byte read
