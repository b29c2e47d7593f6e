#include "yahoo.h"

#include "sourcefields.h"

#include <QJsonArray>
#include <QTimer>
#include <cmath>

namespace {

const QString kCookieHost = QStringLiteral("fc.yahoo.com");
const QString kApiHost = QStringLiteral("query2.finance.yahoo.com");
constexpr int kMaxSummaries = 4096;

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
    q.volume = JsonNumber(o.value(QLatin1String("regularMarketVolume")));
    q.averageVolume = JsonNumber(o.value(QLatin1String("averageDailyVolume3Month")));
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
    q.dividendPerShare = JsonNumber(o.value(QLatin1String("trailingAnnualDividendRate")));
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
    q.volume = JsonNumber(meta.value(QLatin1String("regularMarketVolume")));
    q.yearHigh = JsonNumber(meta.value(QLatin1String("fiftyTwoWeekHigh")));
    q.yearLow = JsonNumber(meta.value(QLatin1String("fiftyTwoWeekLow")));
    q.time = Seconds(meta, "regularMarketTime");
    q.name = FirstText(meta, { "longName", "shortName" });
    q.exchange = FirstText(meta, { "fullExchangeName", "exchangeName" }, 60);
    q.currency = FirstText(meta, { "currency" }, 8);
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

struct YahooSource::Request {
    QByteArray symbol; // as Yahoo spells it
    Done done;
    bool renewed = false;
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
    m_summaryAnsweredMs = answeredMs;
    m_summaryFailedMs = failedMs;
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
    askQuote(request);
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

void YahooSource::askQuote(const RequestPtr& request)
{
    withSession([this, request](bool ok, const QString& why) {
        if (!ok) {
            askChart(request, why);
            return;
        }
        const int session = m_session;
        const QUrl url
            = ApiUrl("/v7/finance/quote?symbols=" + Encoded(request->symbol) + "&crumb=" + Encoded(m_crumb));
        m_client.get(url, [this, request, session](const UpstreamReply& reply) {
            if (reply.status == 401 || reply.status == 403) {
                if (request->renewed) {
                    askChart(
                        request, QStringLiteral("quote refused after a new crumb (%1)").arg(Refusal(reply)));
                    return;
                }
                request->renewed = true;
                if (session == m_session) { // nobody has renewed it meanwhile
                    m_crumb.clear();
                    m_client.resetCookies();
                }
                askQuote(request);
                return;
            }
            if (reply.status == 429) {
                askChart(request, QStringLiteral("quote rate limited (HTTP 429)"));
                return;
            }
            if (!reply.ok()) {
                request->done(Failed(QStringLiteral("quote: ") + Refusal(reply)));
                return;
            }
            SourceResult result = ParseYahooQuote(reply.body);
            if (!result.quote) {
                request->done(result);
                return;
            }
            askSummary(request, *result.quote);
        });
    });
}

void YahooSource::askSummary(const RequestPtr& request, LiveQuote quote)
{
    if (addCachedSummary(request->symbol, quote, false) || m_crumb.isEmpty()) {
        SourceResult r;
        r.quote = quote;
        request->done(r);
        return;
    }
    const QUrl url = ApiUrl("/v10/finance/quoteSummary/" + Encoded(request->symbol)
        + "?modules=defaultKeyStatistics%2CfinancialData&crumb=" + Encoded(m_crumb));
    m_client.get(url, [this, request, quote](const UpstreamReply& reply) mutable {
        const SourceResult summary = reply.ok() ? ParseYahooSummary(reply.body) : SourceResult {};
        // An unknown summary stays unknown for hours; a passing failure is asked again sooner.
        keepSummary(request->symbol, summary.quote.value_or(LiveQuote {}), summary.quote || summary.notFound);
        addCachedSummary(request->symbol, quote, true);
        SourceResult r;
        r.quote = quote;
        request->done(r);
    });
}

void YahooSource::askChart(const RequestPtr& request, const QString& whyNotQuote)
{
    const QUrl url = ApiUrl("/v8/finance/chart/" + Encoded(request->symbol) + "?range=1d&interval=5m");
    m_client.get(url, [this, request, whyNotQuote](const UpstreamReply& reply) {
        SourceResult result;
        if (reply.error.isEmpty() && (reply.status == 200 || reply.status == 404)) {
            result = ParseYahooChart(reply.body);
            if (result.quote && reply.status != 200)
                result = Failed(QStringLiteral("chart: HTTP %1").arg(reply.status));
        } else {
            result = Failed(QStringLiteral("chart: ") + Refusal(reply));
        }
        if (result.quote)
            addCachedSummary(request->symbol, *result.quote, true);
        else
            result.why = whyNotQuote + QStringLiteral("; ") + result.why;
        request->done(result);
    });
}

bool YahooSource::addCachedSummary(const QByteArray& symbol, LiveQuote& quote, bool evenIfStale) const
{
    const auto it = m_summaries.constFind(symbol);
    if (it == m_summaries.cend())
        return false;
    const bool fresh
        = m_clock.elapsed() - it->bornMs < (it->answered ? m_summaryAnsweredMs : m_summaryFailedMs);
    if (fresh || evenIfStale)
        FillMissing(quote, it->figures);
    return fresh;
}

void YahooSource::keepSummary(const QByteArray& symbol, const LiveQuote& figures, bool answered)
{
    if (m_summaries.size() >= kMaxSummaries && !m_summaries.contains(symbol)) {
        // drop the stale ones; if none is, start afresh rather than grow without bound
        const qint64 now = m_clock.elapsed();
        m_summaries.removeIf([this, now](const auto& it) {
            return now - it.value().bornMs >= (it.value().answered ? m_summaryAnsweredMs : m_summaryFailedMs);
        });
        if (m_summaries.size() >= kMaxSummaries)
            m_summaries.clear();
    }
    const bool known = m_summaries.contains(symbol);
    Summary& s = m_summaries[symbol];
    // a failed ask keeps the figures of an earlier answer
    if (answered || !known)
        s.figures = figures;
    s.bornMs = m_clock.elapsed();
    s.answered = answered;
}
