#include "sourcefields.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>
#include <cstdint>

namespace {

// Beyond anything a price, a volume or a market value reaches; keeps the page's figures printable.
constexpr double kLargest = 1e16;

char Cp1252Of(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    switch (c) {
    case 0x20AC:
        return char(0x80);
    case 0x201A:
        return char(0x82);
    case 0x0192:
        return char(0x83);
    case 0x201E:
        return char(0x84);
    case 0x2026:
        return char(0x85);
    case 0x2020:
        return char(0x86);
    case 0x2021:
        return char(0x87);
    case 0x02C6:
        return char(0x88);
    case 0x2030:
        return char(0x89);
    case 0x0160:
        return char(0x8A);
    case 0x2039:
        return char(0x8B);
    case 0x0152:
        return char(0x8C);
    case 0x017D:
        return char(0x8E);
    case 0x2018:
        return char(0x91);
    case 0x2019:
        return char(0x92);
    case 0x201C:
        return char(0x93);
    case 0x201D:
        return char(0x94);
    case 0x2022:
        return char(0x95);
    case 0x2013:
        return char(0x96);
    case 0x2014:
        return char(0x97);
    case 0x02DC:
        return char(0x98);
    case 0x2122:
        return char(0x99);
    case 0x0161:
        return char(0x9A);
    case 0x203A:
        return char(0x9B);
    case 0x0153:
        return char(0x9C);
    case 0x017E:
        return char(0x9E);
    case 0x0178:
        return char(0x9F);
    default:
        return '?';
    }
}

const char* MarketSuffix(const QByteArray& country)
{
    static const char* const suffixes[][2] = {
        { "GB", ".L" },
        { "AU", ".AX" },
        { "BE", ".BR" },
        { "DE", ".DE" },
        { "ES", ".MC" },
        { "FR", ".PA" },
        { "IT", ".MI" },
        { "JP", ".T" },
        { "NL", ".AS" },
        { "SE", ".ST" },
    };
    for (const auto& s : suffixes) {
        if (country == s[0])
            return s[1];
    }
    return nullptr;
}

} // namespace

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
    if (const char* suffix = MarketSuffix(code))
        return s + suffix;
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

QByteArray ToCp1252(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        out += Cp1252Of(c);
    return out;
}

QByteArray JsonText(const QJsonValue& value, qsizetype maxBytes)
{
    if (!value.isString())
        return {};
    // Cut before converting: a hostile name must not cost more than its bound.
    QByteArray text = ToCp1252(value.toString().left(maxBytes));
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
