#include "gateway.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

namespace {

constexpr qsizetype kPruneAbove = 20'000; // symbols remembered before old ones are forgotten

std::int64_t SteadyMs()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

} // namespace

bool IsAllowedSymbol(const QByteArray& symbol)
{
    if (symbol.isEmpty() || symbol.size() > 20)
        return false;
    for (const char c : symbol) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.'
            || c == '-' || c == '^' || c == '=';
        if (!ok)
            return false;
    }
    return true;
}

struct QuoteGateway::Round {
    QByteArray key, country, symbol;
    std::optional<LiveQuote> quote;
    QString answeredBy;
    QStringList reasons;
    bool notFound = false;
};

QuoteGateway::QuoteGateway(
    std::vector<std::unique_ptr<QuoteSource>> sources, const GatewaySettings& settings, QObject* parent)
    : QObject(parent)
    , m_sources(std::move(sources))
    , m_breakers(m_sources.size())
    , m_settings(settings)
    , m_nowMs(&SteadyMs)
{
    for (const auto& source : m_sources)
        source->setParent(nullptr); // owned here, not by a QObject parent
}

QuoteGateway::~QuoteGateway() = default;

QStringList QuoteGateway::sourceNames() const
{
    QStringList names;
    for (const auto& source : m_sources)
        names << source->name();
    return names;
}

QString QuoteGateway::scrub(QString text) const
{
    if (!m_secret.isEmpty())
        text.replace(m_secret, QStringLiteral("***"));
    return text;
}

GatewayAnswer QuoteGateway::fromCache(const Entry& entry, std::int64_t now) const
{
    GatewayAnswer answer;
    if (entry.notFound) {
        answer.outcome = GatewayOutcome::NotFound;
        answer.note = QStringLiteral("cached: ") + entry.lastNote;
        return answer;
    }
    if (entry.quote) {
        const std::int64_t age = now - entry.quoteAtMs;
        if (age < std::int64_t(m_settings.cacheSeconds) * 1000) {
            answer.outcome = GatewayOutcome::Cached;
            answer.quote = *entry.quote;
            answer.note = QStringLiteral("cached from ") + entry.quoteSource;
            return answer;
        }
        if (age <= std::int64_t(m_settings.staleSeconds) * 1000) {
            answer.outcome = GatewayOutcome::Stale;
            answer.quote = *entry.quote;
            answer.note = QStringLiteral("stale from %1, %2 s old (%3)")
                              .arg(entry.quoteSource)
                              .arg(age / 1000)
                              .arg(entry.lastNote);
            return answer;
        }
    }
    answer.note = entry.lastNote;
    return answer;
}

void QuoteGateway::quote(const QByteArray& country, const QByteArray& symbol, Done done)
{
    const std::int64_t now = m_nowMs();
    const QByteArray key = country.toUpper() + ':' + symbol.toUpper();
    Entry& entry = m_entries[key];
    if (entry.inFlight) {
        entry.waiters.push_back(std::move(done));
        return;
    }
    if (entry.askedAtMs && now - *entry.askedAtMs < std::int64_t(m_settings.cacheSeconds) * 1000) {
        done(fromCache(entry, now));
        return;
    }
    if (m_entries.size() > kPruneAbove)
        prune(now);
    Entry& asked = m_entries[key]; // prune() may have moved it
    asked.inFlight = true;
    asked.askedAtMs = now;
    asked.waiters.push_back(std::move(done));
    auto round = std::make_shared<Round>();
    round->key = key;
    round->country = country.toUpper();
    round->symbol = symbol.toUpper();
    ask(round, 0);
}

void QuoteGateway::ask(const std::shared_ptr<Round>& round, std::size_t index)
{
    for (; index < m_sources.size(); ++index) {
        const Breaker& breaker = m_breakers[index];
        if (breaker.failures >= m_settings.breakerFailures && m_nowMs() < breaker.skipUntilMs) {
            round->reasons << m_sources[index]->name()
                    + QStringLiteral(": skipped after %1 failures in a row").arg(breaker.failures);
            continue;
        }
        break;
    }
    if (index >= m_sources.size()) {
        finish(round);
        return;
    }
    // Exactly one of the source's answer and the gateway's own time-out counts.
    auto settled = std::make_shared<bool>(false);
    QPointer<QTimer> timeout = new QTimer(this);
    timeout->setSingleShot(true);
    auto onResult = [this, round, index, settled, timeout](SourceResult result) {
        if (*settled)
            return;
        *settled = true;
        if (timeout) {
            timeout->stop();
            timeout->deleteLater();
        }
        Breaker& breaker = m_breakers[index];
        const QString name = m_sources[index]->name();
        if (result.quote) {
            breaker.failures = 0;
            round->quote = std::move(result.quote);
            round->answeredBy = name;
            finish(round);
            return;
        }
        if (result.notFound) {
            breaker.failures = 0; // it answered
            round->notFound = true;
            round->reasons << name + QStringLiteral(": not found");
        } else {
            if (++breaker.failures >= m_settings.breakerFailures)
                breaker.skipUntilMs = m_nowMs() + std::int64_t(m_settings.breakerSeconds) * 1000;
            round->reasons << name + QStringLiteral(": ")
                    + (result.why.isEmpty() ? QStringLiteral("failed") : result.why);
        }
        ask(round, index + 1);
    };
    connect(timeout, &QTimer::timeout, this, [onResult] {
        SourceResult late;
        late.why = QStringLiteral("no answer in time");
        onResult(std::move(late));
    });
    timeout->start(m_settings.answerMs);
    QPointer<QuoteGateway> self(this);
    m_sources[index]->fetch(round->country, round->symbol, [self, onResult](SourceResult result) {
        if (self)
            onResult(std::move(result));
    });
}

void QuoteGateway::finish(const std::shared_ptr<Round>& round)
{
    const std::int64_t now = m_nowMs();
    Entry& entry = m_entries[round->key];
    entry.inFlight = false;
    GatewayAnswer answer;
    if (round->quote) {
        entry.quote = round->quote;
        entry.quoteSource = round->answeredBy;
        entry.quoteAtMs = now;
        entry.notFound = false;
        entry.lastNote = round->reasons.isEmpty()
            ? round->answeredBy
            : round->answeredBy + QStringLiteral(" after ") + round->reasons.join(QStringLiteral("; "));
        answer.outcome = GatewayOutcome::Live;
        answer.quote = *round->quote;
        answer.note = entry.lastNote;
    } else {
        entry.notFound = round->notFound;
        if (round->notFound)
            entry.quote.reset(); // a provider said the symbol is gone: an old quote would mislead
        entry.lastNote = round->reasons.isEmpty() ? QStringLiteral("no source")
                                                  : round->reasons.join(QStringLiteral("; "));
        answer = fromCache(entry, now);
        if (answer.outcome == GatewayOutcome::Failed)
            answer.note = QStringLiteral("every source failed: ") + entry.lastNote;
    }
    answer.note = scrub(answer.note);
    entry.lastNote = scrub(entry.lastNote);
    const std::vector<Done> waiters = std::move(entry.waiters);
    entry.waiters.clear();
    for (const Done& done : waiters)
        done(answer);
}

void QuoteGateway::prune(std::int64_t now)
{
    const std::int64_t keepMs
        = std::int64_t(std::max(m_settings.cacheSeconds, m_settings.staleSeconds)) * 1000;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (!it->inFlight && it->askedAtMs && now - *it->askedAtMs > keepMs)
            it = m_entries.erase(it);
        else
            ++it;
    }
}
