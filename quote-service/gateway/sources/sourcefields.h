#pragma once

#include "gateway/sources/quotesource.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>

// Helpers the adapters share for reading what a provider sent: nothing here trusts the input.

// A source's answer for a request that failed, and for a symbol the provider does not know.
SourceResult Failed(const QString& why);
SourceResult Unknown(const QString& why);

// How a provider spells a symbol of ours. Yahoo writes a US class share with a dash (BRK-B).
enum class SymbolStyle { Yahoo, Finnhub };
// Empty for a country no provider lists.
QByteArray ProviderSymbol(const QByteArray& country, const QByteArray& symbol,
    const std::function<bool(const QByteArray&)>& isVentureOnly, SymbolStyle style);

// A finite number of a sane size, read as it stands or from a {"raw": n, "fmt": "..."} pair.
std::optional<double> JsonNumber(const QJsonValue& value);
// The first of the keys that holds a number.
std::optional<double> FirstNumber(const QJsonObject& object, std::initializer_list<const char*> keys);
// A provider's text as code page 1252 bytes: control characters made spaces, bounded in length.
QByteArray JsonText(const QJsonValue& value, qsizetype maxBytes = 120);

// The body as a JSON object; why says what it was instead (an HTML page, broken JSON, ...).
std::optional<QJsonObject> JsonObjectOf(const QByteArray& body, QString* why);

// Whether two of a provider's currency codes are one currency; a quote in pence ("GBp") trades in pounds.
bool SameCurrency(const QByteArray& a, const QByteArray& b);
// 100 for a currency quoted in its hundredths ("GBp", "GBX", "ZAc", "ILA"), else 1.
int MinorUnitsPerMajor(const QByteArray& currencyCode);

// Fills every figure into lacks from extra: the quote's own figures always win.
void FillMissing(LiveQuote& into, const LiveQuote& extra);

// Whether a quote lacks figures every listed company has (earnings, market value, beta, average
// volume): then another source may have them.
bool LacksSlowFigures(const LiveQuote& quote);
// Fills the slow figures (ratios, per-share figures, market value, shares, sales, beta, average
// volume, 52-week range, ownership, return on equity) that into lacks from another source's quote
// of the same security: per-share figures and the range in into's unit (pence or pounds), money
// only in the same currency. The price and its time never. Returns how many were filled.
int FillSlowFigures(LiveQuote& into, const LiveQuote& from);
// Only the figures FillSlowFigures takes, with the currencies that say their units.
LiveQuote SlowFiguresOf(const LiveQuote& quote);

// A short, printable excerpt of a provider's own error text for the log.
QString ProviderMessage(const QJsonValue& value);
