#include "gateway/sources/yahoo.h"

#include "gateway/sources/sourcefields.h"

#include <QJsonArray>
#include <QTimer>
#include <cmath>

namespace {

const QString kCookieHost = QStringLiteral("fc.yahoo.com");
const QString kApiHost = QStringLiteral("query2.finance.yahoo.com");

QUrl ApiUrl(const QByteArray& encodedPathAndQuery)
{
    return QUrl::fromEncoded("https://" + kApiHost.toLatin1() + encodedPathAndQuery, QUrl::StrictMode);
}

QByteArray Encoded(const QByteArray& text)
{
    return QUrl::toPercentEncoding(QString::fromLatin1(text));
}

// {"<top>": {"result": [...], "error": ...}}: the result list, or why there is none.
struct Envelope {
    std::optional<QJsonArray> result;
    QJsonValue error;
    QString why;
};

Envelope Open(const QByteArray& body, const char* top)
{
    Envelope e;
    const auto object = JsonObjectOf(body, &e.why);
    if (!object)
        return e;
    const QJsonValue inner = object->value(QLatin1String(top));
    if (!inner.isObject()) {
        // a refused crumb answers {"finance": {"error": {...}}}
        const QJsonValue finance = object->value(QLatin1String("finance"));
        e.error = finance.toObject().value(QLatin1String("error"));
        e.why = e.error.isObject() ? ProviderMessage(e.error)
                                   : QStringLiteral("no \"%1\" in the answer").arg(QLatin1String(top));
        return e;
    }
    const QJsonObject o = inner.toObject();
    e.error = o.value(QLatin1String("error"));
    const QJsonValue result = o.value(QLatin1String("result"));
    if (result.isArray())
        e.result = result.toArray();
    else if (!e.error.isNull() && !e.error.isUndefined())
        e.why = ProviderMessage(e.error);
    else
        e.why = QStringLiteral("no result list");
    return e;
}

bool SaysUnknown(const QJsonValue& error)
{
    const QJsonObject o = error.toObject();
    return o.value(QLatin1String("code")).toString() == QLatin1String("Not Found")
        || o.value(QLatin1String("description")).toString().startsWith(QLatin1String("No data found"));
}

std::optional<std::int64_t> Seconds(const QJsonObject& o, const char* key)
{
    const auto n = JsonNumber(o.value(QLatin1String(key)));
    if (!n || *n < 0 || *n > 1e11)
        return std::nullopt;
    return std::int64_t(*n);
}

QByteArray FirstText(const QJsonObject& o, std::initializer_list<const char*> keys, qsizetype maxBytes = 120)
{
    for (const char* key : keys) {
        const QByteArray text = JsonText(o.value(QLatin1String(key)), maxBytes);
        if (!text.isEmpty())
            return text;
    }
    return {};
}

// A volume of 0 is how Yahoo says a currency pair, an index or a fund has none.
std::optional<double> Count(const QJsonObject& o, const char* key)
{
    const auto n = JsonNumber(o.value(QLatin1String(key)));
    return n && *n > 0 ? n : std::nullopt;
}

// How many of the quote's minor units a per-share figure given for a price in them is in: Yahoo
// has given London's earnings and dividends per share in pounds in some years and in pence in
// others. The answer tells which: the figure, in whichever unit, that sits closer (as a ratio) to
// what the price implies (P/E x EPS is the price; the yield of the price is the dividend) is in
// it. Without such a check, pounds, as Yahoo gives them now.
int PerShareScale(double figure, std::optional<double> implied, int minor)
{
    if (minor == 1 || figure == 0)
        return 1;
    if (!implied || *implied <= 0)
        return minor;
    const auto distance = [&implied](double x) { return std::fabs(std::log(std::fabs(x) / *implied)); };
    return distance(figure) <= distance(figure * minor) ? 1 : minor;
}

// Yahoo's priceHint: the decimals it quotes the security with.
std::optional<int> Places(const QJsonObject& o)
{
    const auto hint = JsonNumber(o.value(QLatin1String("priceHint")));
    if (!hint || *hint < 0 || *hint > 8)
        return std::nullopt;
    return int(*hint);
}

// The dividend per share in the currency the price is in. The trailing rate is in the currency the
// company reports in, which for a foreign listing is not the price's: dividendRate is in the price's,
// and failing that the yield of the price is.
std::optional<double> DividendPerShare(const QJsonObject& o, const LiveQuote& q)
{
    const auto trailing = JsonNumber(o.value(QLatin1String("trailingAnnualDividendRate")));
    const auto rate = JsonNumber(o.value(QLatin1String("dividendRate")));
    const int minor = MinorUnitsPerMajor(q.currency);
    const std::optional<double> implied = q.dividendYield && q.last
        ? std::optional<double>(*q.dividendYield * *q.last / 100.0)
        : std::nullopt;
    const bool foreign = !q.salesCurrency.isEmpty() && !SameCurrency(q.currency, q.salesCurrency);
    if (!foreign && trailing)
        return *trailing * PerShareScale(*trailing, implied, minor);
    if (rate)
        return *rate * PerShareScale(*rate, implied, minor);
    if (foreign && q.dividendYield && q.last)
        return *q.dividendYield * *q.last / 100.0;
    return std::nullopt;
}

// The status, and the provider's own words on it when the body has any.
QString Refusal(const UpstreamReply& reply)
{
    QString ignored;
    const auto object = reply.error.isEmpty() ? JsonObjectOf(reply.body, &ignored) : std::nullopt;
    if (object) {
        for (const char* top : { "finance", "quoteResponse", "chart", "quoteSummary" }) {
            const QJsonValue error
                = object->value(QLatin1String(top)).toObject().value(QLatin1String("error"));
            if (error.isObject())
                return reply.describe() + QStringLiteral(": ") + ProviderMessage(error);
        }
    }
    return reply.describe();
}

} // namespace

SourceResult ParseYahooQuote(const QByteArray& body)
{
    const Envelope e = Open(body, "quoteResponse");
    if (!e.result)
        return Failed(QStringLiteral("quote: ") + e.why);
    if (e.result->isEmpty())
        return Unknown(QStringLiteral("quote: no such symbol"));
    const QJsonValue first = e.result->first();
    if (!first.isObject())
        return Failed(QStringLiteral("quote: result is not an object"));
    const QJsonObject o = first.toObject();
    LiveQuote q;
    q.last = JsonNumber(o.value(QLatin1String("regularMarketPrice")));
    if (!q.last)
        return Failed(QStringLiteral("quote: no price"));
    q.change = JsonNumber(o.value(QLatin1String("regularMarketChange")));
    q.changePercent = JsonNumber(o.value(QLatin1String("regularMarketChangePercent")));
    q.volume = Count(o, "regularMarketVolume");
    q.averageVolume = Count(o, "averageDailyVolume3Month");
    q.high = JsonNumber(o.value(QLatin1String("regularMarketDayHigh")));
    q.low = JsonNumber(o.value(QLatin1String("regularMarketDayLow")));
    q.open = JsonNumber(o.value(QLatin1String("regularMarketOpen")));
    q.previousClose = JsonNumber(o.value(QLatin1String("regularMarketPreviousClose")));
    q.bid = JsonNumber(o.value(QLatin1String("bid")));
    q.ask = JsonNumber(o.value(QLatin1String("ask")));
    q.yearHigh = JsonNumber(o.value(QLatin1String("fiftyTwoWeekHigh")));
    q.yearLow = JsonNumber(o.value(QLatin1String("fiftyTwoWeekLow")));
    q.priceEarnings = JsonNumber(o.value(QLatin1String("trailingPE")));
    q.earningsPerShare = JsonNumber(o.value(QLatin1String("epsTrailingTwelveMonths")));
    q.forwardPriceEarnings = JsonNumber(o.value(QLatin1String("forwardPE")));
    q.dividendYield = JsonNumber(o.value(QLatin1String("dividendYield")));
    q.marketCap = JsonNumber(o.value(QLatin1String("marketCap")));
    q.sharesOutstanding = JsonNumber(o.value(QLatin1String("sharesOutstanding")));
    if (const auto delay = JsonNumber(o.value(QLatin1String("exchangeDataDelayedBy")));
        delay && *delay >= 0 && *delay < 1440)
        q.delayMinutes = int(*delay);
    q.time = Seconds(o, "regularMarketTime");
    q.name = FirstText(o, { "longName", "shortName" });
    q.exchange = FirstText(o, { "fullExchangeName", "exchange" }, 60);
    q.currency = FirstText(o, { "currency" }, 8);
    q.salesCurrency = FirstText(o, { "financialCurrency" }, 8);
    q.pricePlaces = Places(o);
    q.dividendPerShare = DividendPerShare(o, q);
    if (q.earningsPerShare) {
        const std::optional<double> implied = q.priceEarnings && q.last && *q.priceEarnings > 0
            ? std::optional<double>(*q.last / *q.priceEarnings)
            : std::nullopt;
        *q.earningsPerShare *= PerShareScale(*q.earningsPerShare, implied, MinorUnitsPerMajor(q.currency));
    }
    SourceResult r;
    r.quote = q;
    return r;
}

SourceResult ParseYahooChart(const QByteArray& body)
{
    const Envelope e = Open(body, "chart");
    if (!e.result) {
        if (SaysUnknown(e.error))
            return Unknown(QStringLiteral("chart: ") + e.why);
        return Failed(QStringLiteral("chart: ") + e.why);
    }
    if (e.result->isEmpty())
        return Failed(QStringLiteral("chart: an empty result list"));
    const QJsonObject meta = e.result->first().toObject().value(QLatin1String("meta")).toObject();
    LiveQuote q;
    q.last = JsonNumber(meta.value(QLatin1String("regularMarketPrice")));
    if (!q.last)
        return Failed(QStringLiteral("chart: no price"));
    q.previousClose = FirstNumber(meta, { "chartPreviousClose", "previousClose" });
    q.high = JsonNumber(meta.value(QLatin1String("regularMarketDayHigh")));
    q.low = JsonNumber(meta.value(QLatin1String("regularMarketDayLow")));
    q.volume = Count(meta, "regularMarketVolume");
    q.yearHigh = JsonNumber(meta.value(QLatin1String("fiftyTwoWeekHigh")));
    q.yearLow = JsonNumber(meta.value(QLatin1String("fiftyTwoWeekLow")));
    q.time = Seconds(meta, "regularMarketTime");
    q.name = FirstText(meta, { "longName", "shortName" });
    q.exchange = FirstText(meta, { "fullExchangeName", "exchangeName" }, 60);
    q.currency = FirstText(meta, { "currency" }, 8);
    q.pricePlaces = Places(meta);
    SourceResult r;
    r.quote = q;
    return r;
}

SourceResult ParseYahooSummary(const QByteArray& body)
{
    const Envelope e = Open(body, "quoteSummary");
    if (!e.result) {
        if (SaysUnknown(e.error))
            return Unknown(QStringLiteral("summary: ") + e.why);
        return Failed(QStringLiteral("summary: ") + e.why);
    }
    if (e.result->isEmpty())
        return Unknown(QStringLiteral("summary: an empty result list"));
    const QJsonObject modules = e.result->first().toObject();
    const QJsonObject keyStatistics = modules.value(QLatin1String("defaultKeyStatistics")).toObject();
    const QJsonObject financial = modules.value(QLatin1String("financialData")).toObject();
    LiveQuote q;
    q.beta = JsonNumber(keyStatistics.value(QLatin1String("beta")));
    if (const auto held = JsonNumber(keyStatistics.value(QLatin1String("heldPercentInstitutions"))))
        q.institutionalOwnership = *held * 100.0;
    if (const auto roe = JsonNumber(financial.value(QLatin1String("returnOnEquity"))))
        q.returnOnEquity = *roe * 100.0;
    q.sales = JsonNumber(financial.value(QLatin1String("totalRevenue")));
    q.salesCurrency = JsonText(financial.value(QLatin1String("financialCurrency")), 8);
    SourceResult r;
    r.quote = q;
    return r;
}

QByteArray ParseYahooCrumb(const QByteArray& body)
{
    const QByteArray crumb = body.trimmed();
    if (crumb.isEmpty() || crumb.size() > 64)
        return {};
    for (const char c : crumb) {
        // printable ASCII, and none of what starts markup or JSON
        if (c <= ' ' || c >= 0x7F || c == '<' || c == '>' || c == '{' || c == '}' || c == '"')
            return {};
    }
    return crumb;
}

// One symbol's fetch: the quote (or the chart) and the summary go out together and are put
// together when both are back.
struct YahooSource::Request {
    QByteArray symbol; // as Yahoo spells it
    Done done;
    bool quoteRenewed = false; // refused once already: a second refusal goes to the chart
    bool summaryRenewed = false;
    bool summaryPending = false;
    std::optional<SourceResult> figures; // the quote's or the chart's, once it is in
};

YahooSource::YahooSource(const SourceContext& context, QObject* parent)
    : QuoteSource(parent)
    , m_context(context)
    , m_client({ kCookieHost, kApiHost }, context.upstream, this)
{
    m_clock.start();
}

void YahooSource::setHandshakePause(qint64 ms)
{
    m_handshakePauseMs = ms;
}

void YahooSource::setSummaryLifetimes(qint64 answeredMs, qint64 failedMs)
{
    m_summaries.setLifetimes(answeredMs, failedMs);
}

bool YahooSource::canAsk(const QByteArray& country, const QByteArray& symbol) const
{
    return !ProviderSymbol(country, symbol, m_context.isVentureOnly, SymbolStyle::Yahoo).isEmpty();
}

void YahooSource::fetch(const QByteArray& country, const QByteArray& symbol, Done done)
{
    auto request = std::make_shared<Request>();
    request->symbol = ProviderSymbol(country, symbol, m_context.isVentureOnly, SymbolStyle::Yahoo);
    request->done = std::move(done);
    if (request->symbol.isEmpty()) {
        QTimer::singleShot(0, this,
            [request] { request->done(Unknown(QStringLiteral("no Yahoo market for this country"))); });
        return;
    }
    if (m_quoteRefusedAtMs >= 0 && m_clock.elapsed() - m_quoteRefusedAtMs < m_handshakePauseMs) {
        askChart(request, m_quoteRefusal + QStringLiteral(" (not asked again yet)"));
        return;
    }
    withSession([this, request](bool ok, const QString& why) {
        if (!ok) {
            askChart(request, why);
            return;
        }
        askQuote(request);
        if (!m_summaries.fresh(request->symbol)) {
            request->summaryPending = true;
            askSummary(request);
        }
    });
}

void YahooSource::withSession(SessionDone then)
{
    if (!m_crumb.isEmpty()) {
        then(true, {});
        return;
    }
    // After a refused handshake the chart alone serves for a while, rather than asking again
    // for every symbol a provider has just turned away.
    if (!m_handshaking && m_lastRefusalMs >= 0 && m_clock.elapsed() - m_lastRefusalMs < m_handshakePauseMs) {
        then(false, m_lastRefusal + QStringLiteral(" (not asked again yet)"));
        return;
    }
    m_waiting.push_back(std::move(then));
    if (m_handshaking)
        return;
    m_handshaking = true;
    // Whatever fc.yahoo.com answers (it is usually a 404), the cookies it sets are what counts.
    m_client.get(QUrl(QStringLiteral("https://fc.yahoo.com/")), [this](const UpstreamReply& cookie) {
        if (cookie.status == 0) {
            endHandshake(false, QStringLiteral("cookie: ") + cookie.describe());
            return;
        }
        m_client.get(ApiUrl("/v1/test/getcrumb"), [this](const UpstreamReply& reply) {
            const QByteArray crumb = reply.ok() ? ParseYahooCrumb(reply.body) : QByteArray();
            if (crumb.isEmpty()) {
                endHandshake(false,
                    QStringLiteral("crumb: ")
                        + (reply.ok() ? QStringLiteral("not a crumb") : reply.describe()));
                return;
            }
            m_crumb = crumb;
            ++m_session;
            endHandshake(true, {});
        });
    });
}

void YahooSource::endHandshake(bool ok, const QString& why)
{
    m_handshaking = false;
    m_lastRefusalMs = ok ? -1 : m_clock.elapsed();
    m_lastRefusal = why;
    std::vector<SessionDone> waiting;
    waiting.swap(m_waiting);
    for (const SessionDone& then : waiting)
        then(ok, why);
}

void YahooSource::renewAfterRefusal(int refusedSession, SessionDone then)
{
    // Only a refusal of the crumb still in use starts a renewal, and only one at a time: a refusal
    // that comes while a renewal runs waits for it, one of an older crumb just tries the new one.
    if (refusedSession == m_session && !m_handshaking) {
        m_crumb.clear();
        m_client.resetCookies();
    }
    withSession(std::move(then));
}

void YahooSource::askQuote(const RequestPtr& request)
{
    const int session = m_session;
    const QUrl url
        = ApiUrl("/v7/finance/quote?symbols=" + Encoded(request->symbol) + "&crumb=" + Encoded(m_crumb));
    m_client.get(
        url,
        [this, request, session](const UpstreamReply& reply) {
            if (reply.status == 401 || reply.status == 403) {
                if (request->quoteRenewed) {
                    m_quoteRefusal
                        = QStringLiteral("quote refused after a new crumb (%1)").arg(Refusal(reply));
                    m_quoteRefusedAtMs = m_clock.elapsed();
                    askChart(request, m_quoteRefusal);
                    return;
                }
                request->quoteRenewed = true;
                renewAfterRefusal(session, [this, request](bool ok, const QString& why) {
                    if (ok)
                        askQuote(request);
                    else
                        askChart(request, why);
                });
                return;
            }
            // rate limited, the quote API down, or no quote of this one symbol: the chart, a service of
            // its own, may still answer, and says for itself whether it knows the symbol
            if (reply.status == 429 || reply.status == 404 || (reply.status >= 500 && reply.status < 600)) {
                askChart(request, QStringLiteral("quote: ") + Refusal(reply));
                return;
            }
            if (!reply.ok()) {
                settle(request, Failed(QStringLiteral("quote: ") + Refusal(reply)));
                return;
            }
            settle(request, ParseYahooQuote(reply.body));
        },
        {}, request->symbol);
}

void YahooSource::askSummary(const RequestPtr& request)
{
    const int session = m_session;
    const QUrl url = ApiUrl("/v10/finance/quoteSummary/" + Encoded(request->symbol)
        + "?modules=defaultKeyStatistics%2CfinancialData&crumb=" + Encoded(m_crumb));
    m_client.get(
        url,
        [this, request, session](const UpstreamReply& reply) {
            if ((reply.status == 401 || reply.status == 403) && !request->summaryRenewed) {
                request->summaryRenewed = true;
                renewAfterRefusal(session, [this, request](bool ok, const QString&) {
                    if (ok) {
                        askSummary(request);
                        return;
                    }
                    m_summaries.keep(request->symbol, {}, false);
                    request->summaryPending = false;
                    finishIfDone(request);
                });
                return;
            }
            // a fund, an index, a currency has no summary: Yahoo says so with a 404 and its JSON error
            const bool said = reply.error.isEmpty() && (reply.status == 200 || reply.status == 404);
            const SourceResult summary = said ? ParseYahooSummary(reply.body) : SourceResult {};
            // an unknown summary stays unknown for hours; a passing failure is asked again sooner
            m_summaries.keep(
                request->symbol, summary.quote.value_or(LiveQuote {}), summary.quote || summary.notFound);
            request->summaryPending = false;
            finishIfDone(request);
        },
        {}, request->symbol);
}

void YahooSource::askChart(const RequestPtr& request, const QString& whyNotQuote)
{
    const QUrl url = ApiUrl("/v8/finance/chart/" + Encoded(request->symbol) + "?range=1d&interval=5m");
    m_client.get(
        url,
        [this, request, whyNotQuote](const UpstreamReply& reply) {
            SourceResult result;
            if (reply.error.isEmpty() && (reply.status == 200 || reply.status == 404)) {
                result = ParseYahooChart(reply.body);
                if (result.quote && reply.status != 200)
                    result = Failed(QStringLiteral("chart: HTTP %1").arg(reply.status));
            } else {
                result = Failed(QStringLiteral("chart: ") + Refusal(reply));
            }
            // an answer from the chart says so: its figures are fewer than the quote's
            result.why = result.quote ? QStringLiteral("the chart's reduced figures, as ") + whyNotQuote
                                      : whyNotQuote + QStringLiteral("; ") + result.why;
            settle(request, std::move(result));
        },
        {}, request->symbol);
}

void YahooSource::settle(const RequestPtr& request, SourceResult figures)
{
    request->figures = std::move(figures);
    finishIfDone(request);
}

void YahooSource::finishIfDone(const RequestPtr& request)
{
    if (!request->figures || request->summaryPending || !request->done)
        return;
    SourceResult result = std::move(*request->figures);
    if (result.quote)
        m_summaries.addTo(request->symbol, *result.quote);
    const Done done = std::move(request->done);
    request->done = nullptr;
    done(std::move(result));
}
