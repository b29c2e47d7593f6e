#include "gateway/sources/sourcefields.h"

#include "market/countries.h"
#include "platform/textcodec.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>
#include <cstdint>

namespace {

// Beyond anything a price, a volume or a market value reaches; keeps the page's figures printable.
constexpr double kLargest = 1e16;

// A currency quoted in hundredths, and the currency it is a hundredth of.
const char* const kMinorUnits[][2]
    = { { "GBp", "GBP" }, { "GBX", "GBP" }, { "ZAc", "ZAR" }, { "ILA", "ILS" } };

QByteArray MajorCurrency(const QByteArray& code)
{
    for (const auto& unit : kMinorUnits) {
        if (code == unit[0])
            return unit[1];
    }
    return code.toUpper();
}

} // namespace

bool SameCurrency(const QByteArray& a, const QByteArray& b)
{
    return MajorCurrency(a) == MajorCurrency(b);
}

int MinorUnitsPerMajor(const QByteArray& currencyCode)
{
    for (const auto& unit : kMinorUnits) {
        if (currencyCode == unit[0])
            return 100;
    }
    return 1;
}

SourceResult Failed(const QString& why)
{
    SourceResult r;
    r.why = why;
    return r;
}

SourceResult Unknown(const QString& why)
{
    SourceResult r;
    r.notFound = true;
    r.why = why;
    return r;
}

QByteArray ProviderSymbol(const QByteArray& country, const QByteArray& symbol,
    const std::function<bool(const QByteArray&)>& isVentureOnly, SymbolStyle style)
{
    const QByteArray code = country.toUpper();
    const QByteArray s = symbol.toUpper();
    if (s.isEmpty())
        return {};
    if (code == "US") {
        if (style == SymbolStyle::Yahoo) {
            QByteArray dashed = s;
            return dashed.replace('.', '-');
        }
        return s;
    }
    if (code == "CA")
        return s + (isVentureOnly && isVentureOnly(symbol) ? ".V" : ".TO");
    if (const CountryListing* listing = FindCountryListing(code))
        return s + listing->yahoo;
    return {};
}

std::optional<double> JsonNumber(const QJsonValue& value)
{
    const QJsonValue v = value.isObject() ? value.toObject().value(QLatin1String("raw")) : value;
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::fabs(d) > kLargest)
        return std::nullopt;
    return d;
}

std::optional<double> FirstNumber(const QJsonObject& object, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        if (const auto n = JsonNumber(object.value(QLatin1String(key))))
            return n;
    }
    return std::nullopt;
}

QByteArray JsonText(const QJsonValue& value, qsizetype maxBytes)
{
    if (!value.isString())
        return {};
    // Cut before converting: a hostile name must not cost more than its bound.
    QByteArray text = QByteArray::fromStdString(ToCp1252(value.toString().left(maxBytes)));
    for (char& c : text) {
        if (std::uint8_t(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return text.trimmed();
}

std::optional<QJsonObject> JsonObjectOf(const QByteArray& body, QString* why)
{
    const QByteArray start = body.left(64).trimmed().toLower();
    if (start.startsWith('<')) {
        *why = QStringLiteral("an HTML page instead of JSON");
        return std::nullopt;
    }
    if (body.trimmed().isEmpty()) {
        *why = QStringLiteral("an empty answer");
        return std::nullopt;
    }
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        *why = QStringLiteral("malformed JSON at byte %1").arg(error.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *why = QStringLiteral("JSON that is not an object");
        return std::nullopt;
    }
    return document.object();
}

void FillMissing(LiveQuote& into, const LiveQuote& extra)
{
    auto fill = [](auto& field, const auto& other) {
        if (!field && other)
            field = other;
    };
    fill(into.last, extra.last);
    fill(into.change, extra.change);
    fill(into.changePercent, extra.changePercent);
    fill(into.high, extra.high);
    fill(into.low, extra.low);
    fill(into.open, extra.open);
    fill(into.previousClose, extra.previousClose);
    fill(into.bid, extra.bid);
    fill(into.ask, extra.ask);
    fill(into.yearHigh, extra.yearHigh);
    fill(into.yearLow, extra.yearLow);
    fill(into.priceEarnings, extra.priceEarnings);
    fill(into.earningsPerShare, extra.earningsPerShare);
    fill(into.forwardPriceEarnings, extra.forwardPriceEarnings);
    fill(into.dividendPerShare, extra.dividendPerShare);
    fill(into.dividendYield, extra.dividendYield);
    fill(into.volume, extra.volume);
    fill(into.averageVolume, extra.averageVolume);
    fill(into.marketCap, extra.marketCap);
    fill(into.sharesOutstanding, extra.sharesOutstanding);
    fill(into.sales, extra.sales);
    fill(into.beta, extra.beta);
    fill(into.institutionalOwnership, extra.institutionalOwnership);
    fill(into.returnOnEquity, extra.returnOnEquity);
    fill(into.delayMinutes, extra.delayMinutes);
    fill(into.time, extra.time);
    if (into.name.isEmpty())
        into.name = extra.name;
    if (into.exchange.isEmpty())
        into.exchange = extra.exchange;
    if (into.currency.isEmpty())
        into.currency = extra.currency;
    if (into.salesCurrency.isEmpty())
        into.salesCurrency = extra.salesCurrency;
    fill(into.pricePlaces, extra.pricePlaces);
}

bool LacksSlowFigures(const LiveQuote& q)
{
    return !(q.priceEarnings || q.earningsPerShare) || !q.marketCap || !q.beta || !q.averageVolume;
}

int FillSlowFigures(LiveQuote& into, const LiveQuote& from)
{
    int filled = 0;
    const auto fill
        = [&filled](std::optional<double>& field, const std::optional<double>& other, double scale) {
              if (!field && other) {
                  field = *other * scale;
                  ++filled;
              }
          };
    fill(into.priceEarnings, from.priceEarnings, 1);
    fill(into.forwardPriceEarnings, from.forwardPriceEarnings, 1);
    fill(into.dividendYield, from.dividendYield, 1);
    fill(into.beta, from.beta, 1);
    fill(into.institutionalOwnership, from.institutionalOwnership, 1);
    fill(into.returnOnEquity, from.returnOnEquity, 1);
    fill(into.sharesOutstanding, from.sharesOutstanding, 1);
    fill(into.averageVolume, from.averageVolume, 1);
    // a source that does not say its currency is taken at its word that it is the same security
    const bool sameMoney
        = into.currency.isEmpty() || from.currency.isEmpty() || SameCurrency(into.currency, from.currency);
    if (!sameMoney)
        return filled;
    const double perShare = double(MinorUnitsPerMajor(into.currency)) / MinorUnitsPerMajor(from.currency);
    fill(into.earningsPerShare, from.earningsPerShare, perShare);
    fill(into.dividendPerShare, from.dividendPerShare, perShare);
    fill(into.yearHigh, from.yearHigh, perShare);
    fill(into.yearLow, from.yearLow, perShare);
    fill(into.marketCap, from.marketCap, 1); // in the major unit either way
    if (!into.sales && from.sales) {
        into.sales = from.sales;
        into.salesCurrency = from.salesCurrency;
        ++filled;
    }
    if (into.currency.isEmpty())
        into.currency = from.currency;
    return filled;
}

LiveQuote SlowFiguresOf(const LiveQuote& q)
{
    LiveQuote slow;
    slow.currency = q.currency; // first: the figures are taken in their own unit
    FillSlowFigures(slow, q);
    slow.salesCurrency = q.salesCurrency;
    return slow;
}

QString ProviderMessage(const QJsonValue& value)
{
    QString text;
    if (value.isString())
        text = value.toString();
    else if (value.isObject()) {
        const QJsonObject o = value.toObject();
        text = (o.value(QLatin1String("code")).toString() + QLatin1Char(' ')
            + o.value(QLatin1String("description")).toString())
                   .trimmed();
    }
    text = text.left(120);
    for (QChar& c : text) {
        if (!c.isPrint())
            c = QLatin1Char(' ');
    }
    return text.simplified();
}
