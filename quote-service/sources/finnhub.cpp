#include "finnhub.h"

#include "sourcefields.h"

#include <QTimer>

namespace {

const QString kHost = QStringLiteral("finnhub.io");
constexpr int kMaxKept = 4096;
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

SourceResult ParseFinnhubMetric(const QByteArray& body, std::optional<double>* revenuePerShare)
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
    q.averageVolume = Millions(FirstNumber(m, { "3MonthAverageTradingVolume", "10DayAverageTradingVolume" }));
    if (revenuePerShare)
        *revenuePerShare = FirstNumber(m, { "revenuePerShareTTM", "revenuePerShareAnnual" });
    SourceResult r;
    r.quote = q;
    return r;
}

struct FinnhubSource::Request {
    QByteArray symbol; // as Finnhub spells it
    Done done;
};

FinnhubSource::FinnhubSource(const SourceContext& context, QObject* parent)
    : QuoteSource(parent)
    , m_context(context)
    , m_client({ kHost }, context.upstream, this)
{
    m_clock.start();
}

void FinnhubSource::setProfileLifetimes(qint64 answeredMs, qint64 failedMs)
{
    m_answeredMs = answeredMs;
    m_failedMs = failedMs;
}

QUrl FinnhubSource::apiUrl(const QByteArray& path, const QByteArray& query) const
{
    return QUrl::fromEncoded("https://" + kHost.toLatin1() + path + '?' + query
            + "&token=" + QUrl::toPercentEncoding(m_context.token),
        QUrl::StrictMode);
}

QString FinnhubSource::clean(QString why) const
{
    // the provider's own texts are ours to log only without the key
    if (!m_context.token.isEmpty())
        why.replace(m_context.token, QStringLiteral("(token)"));
    return why;
}

void FinnhubSource::finish(const RequestPtr& request, SourceResult result)
{
    result.why = clean(result.why);
    request->done(std::move(result));
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
            finish(request, r);
        });
        return;
    }
    const QByteArray symbolQuery = "symbol=" + QUrl::toPercentEncoding(QString::fromLatin1(request->symbol));
    m_client.get(apiUrl("/api/v1/quote", symbolQuery), [this, request](const UpstreamReply& reply) {
        if (reply.status == 401 || reply.status == 403 || reply.status == 429) {
            QString why;
            const auto object = JsonObjectOf(reply.body, &why);
            const QString said = object ? ProviderMessage(object->value(QLatin1String("error"))) : QString();
            why = reply.status == 429 ? QStringLiteral("quote rate limited (HTTP 429)")
                                      : QStringLiteral("quote refused (HTTP %1)").arg(reply.status);
            if (!said.isEmpty())
                why += QStringLiteral(": ") + said;
            finish(request, Failed(why));
            return;
        }
        if (!reply.ok()) {
            finish(request, Failed(QStringLiteral("quote: ") + reply.describe()));
            return;
        }
        SourceResult result = ParseFinnhubQuote(reply.body);
        if (!result.quote) {
            finish(request, result);
            return;
        }
        askProfile(request, *result.quote);
    });
}

void FinnhubSource::askProfile(const RequestPtr& request, LiveQuote quote)
{
    const auto it = m_slow.constFind(request->symbol);
    if (it != m_slow.cend() && m_clock.elapsed() - it->bornMs < (it->answered ? m_answeredMs : m_failedMs)) {
        FillMissing(quote, it->figures);
        SourceResult r;
        r.quote = quote;
        finish(request, r);
        return;
    }
    const QByteArray symbolQuery = "symbol=" + QUrl::toPercentEncoding(QString::fromLatin1(request->symbol));
    m_client.get(
        apiUrl("/api/v1/stock/profile2", symbolQuery), [this, request, quote](const UpstreamReply& reply) {
            const SourceResult profile = reply.ok() ? ParseFinnhubProfile(reply.body) : SourceResult {};
            askMetric(request, quote, profile.quote.value_or(LiveQuote {}), profile.quote.has_value());
        });
}

void FinnhubSource::askMetric(
    const RequestPtr& request, LiveQuote quote, LiveQuote slow, bool profileAnswered)
{
    const QByteArray query
        = "symbol=" + QUrl::toPercentEncoding(QString::fromLatin1(request->symbol)) + "&metric=all";
    m_client.get(apiUrl("/api/v1/stock/metric", query),
        [this, request, quote, slow, profileAnswered](const UpstreamReply& reply) mutable {
            std::optional<double> revenuePerShare;
            const SourceResult metric
                = reply.ok() ? ParseFinnhubMetric(reply.body, &revenuePerShare) : SourceResult {};
            if (metric.quote)
                FillMissing(slow, *metric.quote);
            if (revenuePerShare && slow.sharesOutstanding)
                slow.sales = *revenuePerShare * *slow.sharesOutstanding;
            if (m_slow.size() >= kMaxKept && !m_slow.contains(request->symbol))
                m_slow.clear();
            const bool known = m_slow.contains(request->symbol);
            Slow& kept = m_slow[request->symbol];
            const bool answered = profileAnswered && metric.quote;
            if (answered || !known)
                kept.figures = slow;
            kept.bornMs = m_clock.elapsed();
            kept.answered = answered;
            FillMissing(quote, kept.figures);
            SourceResult r;
            r.quote = quote;
            finish(request, r);
        });
}
