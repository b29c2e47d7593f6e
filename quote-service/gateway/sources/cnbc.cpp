#include "gateway/sources/cnbc.h"

#include "gateway/sources/sourcefields.h"
#include "market/countries.h"
#include "market/easterntime.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {

const QString kHost = QStringLiteral("quote.cnbc.com");
const QByteArray kQuotePath = QByteArrayLiteral("/quote-html-webservice/restQuote/symbolType/symbol");
// The regular session's figures with the company's ratios, as plain JSON.
const QByteArray kQuoteOptions
    = QByteArrayLiteral("&requestMethod=itv&noform=1&partnerId=2&fund=1&exthrs=0&output=json");

constexpr double kLargest = 1e16; // as the other sources: beyond any price, volume or market value

// An index or currency pair in Yahoo's spelling, in CNBC's; empty for one it is not known to have.
// A pair is translated only where both quote it the same way round (EUR= is dollars per euro).
QByteArray CnbcIndexOrPair(const QByteArray& yahoo)
{
    static const char* const known[][2] = {
        { "^GSPC", ".SPX" },
        { "^DJI", ".DJI" },
        { "^IXIC", ".IXIC" },
        { "^NDX", ".NDX" },
        { "^RUT", ".RUT" },
        { "^VIX", ".VIX" },
        { "^FTSE", ".FTSE" },
        { "^GDAXI", ".GDAXI" },
        { "^N225", ".N225" },
        { "EURUSD=X", "EUR=" },
        { "GBPUSD=X", "GBP=" },
        { "AUDUSD=X", "AUD=" },
        { "NZDUSD=X", "NZD=" },
        { "USDJPY=X", "JPY=" },
        { "JPY=X", "JPY=" },
        { "USDCHF=X", "CHF=" },
        { "CHF=X", "CHF=" },
        { "USDCAD=X", "CAD=" },
        { "CAD=X", "CAD=" },
    };
    for (const auto& pair : known) {
        if (yahoo == pair[0])
            return pair[1];
    }
    return {};
}

std::optional<double> Number(const QJsonObject& o, const char* key)
{
    return CnbcNumber(o.value(QLatin1String(key)));
}

std::optional<double> Positive(const QJsonObject& o, const char* key)
{
    const auto n = Number(o, key);
    return n && *n > 0 ? n : std::nullopt;
}

std::optional<double> Count(const QJsonObject& o, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        const auto n = Number(o, key);
        if (n && *n >= 0)
            return n;
    }
    return std::nullopt;
}

// A change that did not happen reads "UNCH": that is a change of nothing, not an unknown one.
std::optional<double> Change(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isString() && v.toString().trimmed().compare(QLatin1String("UNCH"), Qt::CaseInsensitive) == 0)
        return 0.0;
    return CnbcNumber(v);
}

// A date without a time of day ("2026-10-02", or "10/02/26 EDT"): the figures are that day's close.
// The close is taken as 4 pm Eastern, which keeps the day right wherever the market is.
std::optional<std::int64_t> CloseOfDay(const QJsonObject& o)
{
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    static const QRegularExpression us(QStringLiteral("^(\\d{2})/(\\d{2})/(\\d{2})(?: [A-Z]{2,4})?$"));
    int year = 0, month = 0, day = 0;
    if (const auto m = iso.match(o.value(QLatin1String("last_time")).toString().trimmed()); m.hasMatch()) {
        year = m.captured(1).toInt();
        month = m.captured(2).toInt();
        day = m.captured(3).toInt();
    } else if (const auto d = us.match(o.value(QLatin1String("last_timedate")).toString().trimmed());
               d.hasMatch()) {
        year = 2000 + d.captured(3).toInt();
        month = d.captured(1).toInt();
        day = d.captured(2).toInt();
    } else {
        return std::nullopt;
    }
    if (year < 1990 || year > 2200 || month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    return FromEastern(DaysFromCivil(year, month, day), 16, 0);
}

std::optional<std::int64_t> QuoteTime(const QJsonObject& o)
{
    if (const auto ms = Number(o, "last_time_msec"); ms && *ms > 0 && *ms < 1e14)
        return std::int64_t(*ms / 1000);
    if (const auto close = CloseOfDay(o))
        return close;
    // "2024-03-05T10:42:00.000-0500"; a time without its offset could be anyone's
    const QDateTime t
        = QDateTime::fromString(o.value(QLatin1String("last_time")).toString().left(40), Qt::ISODateWithMs);
    if (!t.isValid() || t.timeSpec() == Qt::LocalTime)
        return std::nullopt;
    const qint64 seconds = t.toSecsSinceEpoch();
    if (seconds <= 0 || seconds >= 100'000'000'000LL)
        return std::nullopt;
    return seconds;
}

// The decimals CNBC prints the price with ("1.1598", a yield "4.606%"); none for a scaled or bare number.
std::optional<int> Places(const QJsonValue& value)
{
    QString text = value.toString().trimmed();
    if (text.endsWith(QLatin1Char('%')))
        text.chop(1);
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    if (dot < 0 || text.isEmpty() || !text.back().isDigit())
        return std::nullopt;
    return int(std::min<qsizetype>(text.size() - dot - 1, 6));
}

QByteArray FirstText(const QJsonObject& o, std::initializer_list<const char*> keys, qsizetype maxBytes)
{
    for (const char* key : keys) {
        const QByteArray text = JsonText(o.value(QLatin1String(key)), maxBytes);
        if (!text.isEmpty())
            return text;
    }
    return {};
}

} // namespace

std::optional<double> CnbcNumber(const QJsonValue& value)
{
    if (value.isDouble())
        return JsonNumber(value);
    if (!value.isString())
        return std::nullopt;
    QByteArray text = value.toString().left(40).toLatin1().trimmed();
    text.replace(",", "");
    if (text.startsWith('+'))
        text.remove(0, 1);
    if (text.endsWith('%'))
        text.chop(1);
    double scale = 1;
    if (!text.isEmpty()) {
        switch (text.back()) {
        case 'K':
            scale = 1e3;
            break;
        case 'M':
            scale = 1e6;
            break;
        case 'B':
            scale = 1e9;
            break;
        case 'T':
            scale = 1e12;
            break;
        default:
            break;
        }
        if (scale != 1)
            text.chop(1);
    }
    bool ok = false;
    const double n = text.toDouble(&ok) * scale;
    if (!ok || !std::isfinite(n) || std::fabs(n) > kLargest)
        return std::nullopt;
    return n;
}

QByteArray CnbcSymbol(const QByteArray& country, const QByteArray& symbol,
    const std::function<bool(const QByteArray&)>& isVentureOnly)
{
    const QByteArray code = country.toUpper();
    const QByteArray s = symbol.toUpper();
    if (s.isEmpty())
        return {};
    if (code == "US")
        return s.contains('^') || s.contains('=') ? CnbcIndexOrPair(s) : s;
    if (code == "CA")
        return s + (isVentureOnly && isVentureOnly(symbol) ? "-V" : "-CA");
    // a listing abroad is the home symbol and the country: "SAP-DE", "VOD-GB"
    if (const CountryListing* listing = FindCountryListing(code))
        return s + listing->cnbc;
    return {};
}

SourceResult ParseCnbcQuote(const QByteArray& body, const QByteArray& asked)
{
    QString why;
    const auto answer = JsonObjectOf(body, &why);
    if (!answer)
        return Failed(QStringLiteral("quote: ") + why);
    const QJsonValue result = answer->value(QLatin1String("FormattedQuoteResult"));
    if (!result.isObject())
        return Failed(QStringLiteral("quote: no FormattedQuoteResult in the answer"));
    // a list of one, or for a single symbol sometimes the quote itself
    QJsonValue first = result.toObject().value(QLatin1String("FormattedQuote"));
    if (first.isArray()) {
        const QJsonArray quotes = first.toArray();
        // one symbol was asked: several answers cannot all be about it
        if (quotes.size() > 1)
            return Failed(QStringLiteral("quote: %1 quotes for one symbol").arg(quotes.size()));
        first = quotes.isEmpty() ? QJsonValue() : quotes.first();
    }
    if (first.isNull() || first.isUndefined())
        return Unknown(QStringLiteral("quote: no such symbol"));
    if (!first.isObject())
        return Failed(QStringLiteral("quote: result is not an object"));
    const QJsonObject o = first.toObject();
    const QByteArray about = JsonText(o.value(QLatin1String("symbol")), 40);
    if (!asked.isEmpty() && !about.isEmpty() && about.compare(asked, Qt::CaseInsensitive) != 0)
        return Failed(QStringLiteral("quote: an answer about %1").arg(QString::fromLatin1(about.left(20))));

    LiveQuote q;
    q.last = Positive(o, "last");
    if (!q.last) {
        // a symbol it does not know comes back as itself, with a code other than 0 and no figures
        if (Number(o, "code").value_or(0) != 0)
            return Unknown(QStringLiteral("quote: no such symbol"));
        return Failed(QStringLiteral("quote: no price"));
    }
    q.change = Change(o, "change");
    q.changePercent = Change(o, "change_pct");
    q.high = Positive(o, "high");
    q.low = Positive(o, "low");
    q.open = Positive(o, "open");
    q.previousClose = Positive(o, "previous_day_closing");
    // after hours and before the open, the "previous day" is the session that just closed
    const QString session = o.value(QLatin1String("curmktstatus")).toString();
    if ((session == QLatin1String("POST_MKT") || session == QLatin1String("PRE_MKT")) && q.change
        && *q.last - *q.change > 0)
        q.previousClose = *q.last - *q.change;
    q.yearHigh = Positive(o, "yrhiprice");
    q.yearLow = Positive(o, "yrloprice");
    q.volume = Count(o, { "volume", "volume_alt" });
    // its average volume is ten days' and rounded ("33.01M"): not the three months the page means
    q.marketCap = Positive(o, "mktcapView");
    q.sharesOutstanding = Positive(o, "sharesout");
    q.sales = Positive(o, "revenuettm");
    q.priceEarnings = Number(o, "pe");
    q.forwardPriceEarnings = Number(o, "fpe");
    q.earningsPerShare = Number(o, "eps");
    q.dividendPerShare = Number(o, "dividend");
    q.dividendYield = Number(o, "dividendyield");
    q.beta = Number(o, "beta");
    q.returnOnEquity = Number(o, "ROETTM");
    q.time = QuoteTime(o);
    q.name = FirstText(o, { "name", "shortName" }, 120);
    q.exchange = FirstText(o, { "exchange" }, 60);
    q.currency = FirstText(o, { "currencyCode" }, 8);
    q.pricePlaces = Places(o.value(QLatin1String("last")));
    SourceResult r;
    r.quote = q;
    return r;
}

CnbcSource::CnbcSource(const SourceContext& context, QObject* parent)
    : QuoteSource(parent)
    , m_context(context)
    , m_client({ kHost }, context.upstream, this)
{
}

bool CnbcSource::canAsk(const QByteArray& country, const QByteArray& symbol) const
{
    return !CnbcSymbol(country, symbol, m_context.isVentureOnly).isEmpty();
}

void CnbcSource::fetch(const QByteArray& country, const QByteArray& symbol, Done done)
{
    const QByteArray asked = CnbcSymbol(country, symbol, m_context.isVentureOnly);
    if (asked.isEmpty()) {
        QTimer::singleShot(0, this,
            [done = std::move(done)] { done(Unknown(QStringLiteral("no CNBC spelling for this symbol"))); });
        return;
    }
    const QUrl url = QUrl::fromEncoded("https://" + kHost.toLatin1() + kQuotePath
            + "?symbols=" + QUrl::toPercentEncoding(QString::fromLatin1(asked)) + kQuoteOptions,
        QUrl::StrictMode);
    m_client.get(
        url,
        [asked, done = std::move(done)](const UpstreamReply& reply) {
            if (!reply.ok()) {
                done(Failed(QStringLiteral("quote: ") + reply.describe()));
                return;
            }
            done(ParseCnbcQuote(reply.body, asked));
        },
        {}, asked);
}
