#include "gateway/sources/finnhub.h"

#include "gateway/sources/sourcefields.h"

#include <QTimer>
#include <QUrlQuery>

namespace {

const QString kHost = QStringLiteral("finnhub.io");
constexpr double kMillion = 1e6;

std::optional<double> Positive(const QJsonObject& o, const char* key)
{
    const auto n = JsonNumber(o.value(QLatin1String(key)));
    return n && *n > 0 ? n : std::nullopt;
}

std::optional<double> Millions(std::optional<double> n)
{
    return n && *n >= 0 ? std::optional<double>(*n * kMillion) : std::nullopt;
}

// Finnhub's average daily volumes have come in millions of shares in some years and in shares in
// others, and the answer does not say which. The page's average is three months', so a 10-day
// figure alone is left off. Two averages on one scale lie within a factor of ten of each other; on
// the two scales, a million apart, so more than ten thousand times apart says the larger is in
// shares. In between (an old answer whose 3-month figure reads twenty times the 10-day one) the
// unit cannot be told and the figure is left off. With the 3-month figure alone, the share count
// settles it: an average in millions that would trade more than the whole company every day is in
// shares; without one, 100,000 or more is in shares (100 billion shares a day is more than all
// markets trade).
std::optional<double> AverageVolume(
    std::optional<double> threeMonth, std::optional<double> tenDay, std::optional<double> sharesOutstanding)
{
    if (!threeMonth || *threeMonth < 0)
        return std::nullopt;
    const double figure = *threeMonth;
    bool inShares = false;
    if (tenDay && figure > 0 && *tenDay > 0 && (figure > *tenDay * 10 || *tenDay > figure * 10)) {
        if (figure <= *tenDay * 1e4 && *tenDay <= figure * 1e4)
            return std::nullopt;
        inShares = figure > *tenDay;
    } else if (sharesOutstanding && *sharesOutstanding > 0)
        inShares = figure * kMillion > *sharesOutstanding;
    else
        inShares = figure >= 100'000;
    return inShares ? figure : figure * kMillion;
}

// {"error": "..."} is how the API says no, whatever the status.
std::optional<QJsonObject> Answer(const QByteArray& body, const char* what, QString* why)
{
    auto object = JsonObjectOf(body, why);
    if (!object) {
        *why = QLatin1String(what) + QStringLiteral(": ") + *why;
        return std::nullopt;
    }
    if (object->contains(QLatin1String("error"))) {
        *why = QLatin1String(what) + QStringLiteral(": ")
            + ProviderMessage(object->value(QLatin1String("error")));
        return std::nullopt;
    }
    return object;
}

} // namespace

SourceResult ParseFinnhubQuote(const QByteArray& body)
{
    QString why;
    const auto o = Answer(body, "quote", &why);
    if (!o)
        return Failed(why);
    const auto last = JsonNumber(o->value(QLatin1String("c")));
    const auto time = JsonNumber(o->value(QLatin1String("t")));
    // a symbol it does not know comes back as zeros
    if (last.value_or(0) == 0 && time.value_or(0) == 0) {
        return Unknown(QStringLiteral("quote: no such symbol"));
    }
    if (!last || *last <= 0)
        return Failed(QStringLiteral("quote: no price"));
    LiveQuote q;
    q.last = last;
    q.change = JsonNumber(o->value(QLatin1String("d")));
    q.changePercent = JsonNumber(o->value(QLatin1String("dp")));
    q.high = Positive(*o, "h");
    q.low = Positive(*o, "l");
    q.open = Positive(*o, "o");
    q.previousClose = Positive(*o, "pc");
    if (time && *time > 0 && *time < 1e11)
        q.time = std::int64_t(*time);
    SourceResult r;
    r.quote = q;
    return r;
}

SourceResult ParseFinnhubProfile(const QByteArray& body)
{
    QString why;
    const auto o = Answer(body, "profile", &why);
    if (!o)
        return Failed(why);
    LiveQuote q; // an empty object is the answer for a company it has no profile of
    q.name = JsonText(o->value(QLatin1String("name")));
    q.exchange = JsonText(o->value(QLatin1String("exchange")), 60);
    q.currency = JsonText(o->value(QLatin1String("currency")), 8);
    q.marketCap = Millions(JsonNumber(o->value(QLatin1String("marketCapitalization"))));
    q.sharesOutstanding = Millions(JsonNumber(o->value(QLatin1String("shareOutstanding"))));
    SourceResult r;
    r.quote = q;
    return r;
}

SourceResult ParseFinnhubMetric(
    const QByteArray& body, std::optional<double>* revenuePerShare, std::optional<double> sharesOutstanding)
{
    QString why;
    const auto o = Answer(body, "metric", &why);
    if (!o)
        return Failed(why);
    const QJsonObject m = o->value(QLatin1String("metric")).toObject();
    LiveQuote q;
    q.yearHigh = Positive(m, "52WeekHigh");
    q.yearLow = Positive(m, "52WeekLow");
    q.beta = JsonNumber(m.value(QLatin1String("beta")));
    q.priceEarnings = FirstNumber(m, { "peTTM", "peBasicExclExtraTTM", "peInclExtraTTM" });
    q.earningsPerShare = FirstNumber(m, { "epsTTM", "epsBasicExclExtraItemsTTM", "epsInclExtraItemsTTM" });
    q.dividendPerShare
        = FirstNumber(m, { "dividendPerShareTTM", "dividendsPerShareTTM", "dividendPerShareAnnual" });
    q.dividendYield = FirstNumber(m, { "dividendYieldIndicatedAnnual", "currentDividendYieldTTM" });
    q.returnOnEquity = FirstNumber(m, { "roeTTM", "roeRfy" });
    q.forwardPriceEarnings = FirstNumber(m, { "forwardPE", "forwardPeTTM" });
    q.marketCap = Millions(JsonNumber(m.value(QLatin1String("marketCapitalization"))));
    q.averageVolume = AverageVolume(JsonNumber(m.value(QLatin1String("3MonthAverageTradingVolume"))),
        JsonNumber(m.value(QLatin1String("10DayAverageTradingVolume"))), sharesOutstanding);
    if (revenuePerShare)
        *revenuePerShare = FirstNumber(m, { "revenuePerShareTTM", "revenuePerShareAnnual" });
    SourceResult r;
    r.quote = q;
    return r;
}

LiveQuote FinnhubCompany(const QByteArray* profileBody, const QByteArray* metricBody, bool* answered)
{
    const SourceResult profile = profileBody ? ParseFinnhubProfile(*profileBody) : SourceResult {};
    LiveQuote slow = profile.quote.value_or(LiveQuote {});
    std::optional<double> revenuePerShare;
    const SourceResult metric = metricBody
        ? ParseFinnhubMetric(*metricBody, &revenuePerShare, slow.sharesOutstanding)
        : SourceResult {};
    if (metric.quote)
        FillMissing(slow, *metric.quote);
    if (revenuePerShare && slow.sharesOutstanding)
        slow.sales = *revenuePerShare * *slow.sharesOutstanding;
    *answered = profile.quote && metric.quote;
    return slow;
}

// One symbol's fetch: the quote, and the profile and ratios when they are not kept, all at once.
struct FinnhubSource::Request {
    QByteArray symbol; // as Finnhub spells it
    Done done;
    int pending = 0;
    std::optional<SourceResult> quote;
    std::optional<QByteArray> profile, metric; // the bodies that came with a 200
};

FinnhubSource::FinnhubSource(const SourceContext& context, QObject* parent)
    : QuoteSource(parent)
    , m_context(context)
    , m_client({ kHost }, context.upstream, this)
{
}

void FinnhubSource::setProfileLifetimes(qint64 answeredMs, qint64 failedMs)
{
    m_slow.setLifetimes(answeredMs, failedMs);
}

QUrl FinnhubSource::apiUrl(const QByteArray& path, const QByteArray& symbol, const QByteArray& more) const
{
    return QUrl::fromEncoded("https://" + kHost.toLatin1() + path
            + "?symbol=" + QUrl::toPercentEncoding(QString::fromLatin1(symbol)) + more,
        QUrl::StrictMode);
}

void FinnhubSource::get(const QUrl& url, UpstreamClient::Done done)
{
    // the key goes in a header: a query string ends up in proxies' and servers' logs
    m_client.get(url, std::move(done), { { QByteArrayLiteral("X-Finnhub-Token"), m_context.token.toUtf8() } },
        QUrlQuery(url).queryItemValue(QStringLiteral("symbol")).toLatin1());
}

QString FinnhubSource::clean(QString why) const
{
    // the provider's own texts are ours to log only without the key
    if (!m_context.token.isEmpty())
        why.replace(m_context.token, QStringLiteral("(token)"));
    return why;
}

bool FinnhubSource::canAsk(const QByteArray& country, const QByteArray& symbol) const
{
    // its indices and currency pairs are spelt unlike Yahoo's (and are not on the free plan)
    if (symbol.contains('^') || symbol.contains('='))
        return false;
    return !ProviderSymbol(country, symbol, m_context.isVentureOnly, SymbolStyle::Finnhub).isEmpty();
}

void FinnhubSource::fetch(const QByteArray& country, const QByteArray& symbol, Done done)
{
    auto request = std::make_shared<Request>();
    request->symbol = ProviderSymbol(country, symbol, m_context.isVentureOnly, SymbolStyle::Finnhub);
    request->done = std::move(done);
    if (m_context.token.isEmpty() || request->symbol.isEmpty()) {
        QTimer::singleShot(0, this, [this, request] {
            SourceResult r
                = Failed(m_context.token.isEmpty() ? QStringLiteral("no Finnhub token")
                                                   : QStringLiteral("no Finnhub market for this country"));
            r.notFound = !m_context.token.isEmpty();
            request->quote = r;
            finishIfDone(request);
        });
        return;
    }
    request->pending = 1;
    get(apiUrl("/api/v1/quote", request->symbol), [this, request](const UpstreamReply& reply) {
        request->quote = QuoteResult(reply);
        --request->pending;
        finishIfDone(request);
    });
    if (m_slow.fresh(request->symbol))
        return;
    request->pending += 2;
    get(apiUrl("/api/v1/stock/profile2", request->symbol), [this, request](const UpstreamReply& reply) {
        if (reply.ok())
            request->profile = reply.body;
        --request->pending;
        finishIfDone(request);
    });
    get(apiUrl("/api/v1/stock/metric", request->symbol, "&metric=all"),
        [this, request](const UpstreamReply& reply) {
            if (reply.ok())
                request->metric = reply.body;
            --request->pending;
            finishIfDone(request);
        });
}

SourceResult FinnhubSource::QuoteResult(const UpstreamReply& reply)
{
    if (reply.status == 401 || reply.status == 403 || reply.status == 404 || reply.status == 429) {
        QString why;
        const auto object = JsonObjectOf(reply.body, &why);
        const QString said = object ? ProviderMessage(object->value(QLatin1String("error"))) : QString();
        why = reply.status == 429 ? QStringLiteral("quote rate limited (HTTP 429)")
                                  : QStringLiteral("quote refused (HTTP %1)").arg(reply.status);
        if (!said.isEmpty())
            why += QStringLiteral(": ") + said;
        // A refusal of this one symbol (a market the key does not cover, a symbol it has not) is the
        // symbol's answer; a refused key or a rate limit is the source failing.
        const bool symbolOnly = reply.status == 404
            || (reply.status == 403 && said.contains(QLatin1String("access to this resource")));
        return symbolOnly ? Unknown(why) : Failed(why);
    }
    if (!reply.ok())
        return Failed(QStringLiteral("quote: ") + reply.describe());
    return ParseFinnhubQuote(reply.body);
}

void FinnhubSource::finishIfDone(const RequestPtr& request)
{
    if (request->pending > 0 || !request->quote || !request->done)
        return;
    SourceResult result = std::move(*request->quote);
    if (request->profile || request->metric || !m_slow.fresh(request->symbol)) {
        bool answered = false;
        const LiveQuote slow = FinnhubCompany(request->profile ? &*request->profile : nullptr,
            request->metric ? &*request->metric : nullptr, &answered);
        if (result.quote || result.notFound)
            m_slow.keep(request->symbol, slow, answered);
    }
    if (result.quote)
        m_slow.addTo(request->symbol, *result.quote);
    result.why = clean(result.why);
    const Done done = std::move(request->done);
    request->done = nullptr;
    done(std::move(result));
}
