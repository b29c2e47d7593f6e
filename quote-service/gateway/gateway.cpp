#include "gateway/gateway.h"

#include "gateway/sources/sourcefields.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <limits>

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

// Whether another source's answer has a figure the quote lacks: only then is it worth asking beside.
bool FillsAny(const LiveQuote& quote, const SourceResult& other)
{
    LiveQuote copy = quote;
    return other.quote && FillSlowFigures(copy, *other.quote) > 0;
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

// Outside Round: clang cannot default-construct a nested class with member initialisers inside
// an optional of the enclosing class.
namespace {
struct RoundFill {
    std::size_t index = 0;
    std::optional<SourceResult> result; // once it is back
    bool chainWaits = false; // the chain came to this source while it was out: it is the answer
    bool roundWaits = false; // the price is in and waits for the figures
};
} // namespace

struct QuoteGateway::Round {
    QByteArray key, country, symbol;
    std::optional<LiveQuote> quote;
    QString answeredBy;
    QStringList reasons;
    bool notFound = false;
    bool failed = false; // a source failed or was skipped
    bool asked = false; // some source could spell the symbol
    std::size_t priceIndex = 0; // the source whose price it is
    bool finished = false;
    std::int64_t askAgainAtMs = std::numeric_limits<std::int64_t>::max();
    // A second source asked for the figures the first leaves off, beside it or after it.
    std::optional<RoundFill> fill;
};

QuoteGateway::QuoteGateway(
    std::vector<std::unique_ptr<QuoteSource>> sources, const GatewaySettings& settings, QObject* parent)
    : QObject(parent)
    , m_sources(std::move(sources))
    , m_breakers(m_sources.size())
    , m_fillBeside(m_sources.size(), 0)
    , m_filled(kPruneAbove)
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
            answer.ageMs = age;
            answer.note = QStringLiteral("cached from ") + entry.quoteSource;
            return answer;
        }
        if (age <= std::int64_t(m_settings.staleSeconds) * 1000) {
            answer.outcome = GatewayOutcome::Stale;
            answer.quote = *entry.quote;
            answer.ageMs = age;
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
    prune(now);
    const QByteArray key = country.toUpper() + ':' + symbol.toUpper();
    Entry& entry = m_entries[key];
    if (entry.inFlight) {
        entry.waiters.push_back(std::move(done));
        return;
    }
    if (entry.askedAtMs && now < entry.askAgainAtMs) {
        done(fromCache(entry, now));
        return;
    }
    entry.inFlight = true;
    entry.askedAtMs = now;
    entry.askAgainAtMs = now + std::int64_t(m_settings.cacheSeconds) * 1000;
    entry.waiters.push_back(std::move(done));
    m_asked.emplace_back(key, now);
    auto round = std::make_shared<Round>();
    round->key = key;
    round->country = country.toUpper();
    round->symbol = symbol.toUpper();
    ask(round, 0);
}

bool QuoteGateway::canFill(const Round& round, std::size_t index) const
{
    // within the breaker: a source that is out is not asked for a fill, nor probed by one
    return m_breakers[index].failures < m_settings.breakerFailures
        && m_sources[index]->canAsk(round.country, round.symbol);
}

void QuoteGateway::ask(const std::shared_ptr<Round>& round, std::size_t index)
{
    bool probe = false;
    for (; index < m_sources.size(); ++index) {
        // a source with no spelling for the security is neither asked nor a failure
        if (!m_sources[index]->canAsk(round->country, round->symbol))
            continue;
        round->asked = true;
        Breaker& breaker = m_breakers[index];
        if (breaker.failures < m_settings.breakerFailures)
            break;
        const std::int64_t now = m_nowMs();
        if (now >= breaker.skipUntilMs && !breaker.probing) {
            breaker.probing = true; // the one request that finds out whether it is back
            probe = true;
            break;
        }
        round->failed = true;
        round->reasons << m_sources[index]->name()
                + QStringLiteral(": skipped after %1 failures in a row").arg(breaker.failures);
        // the symbol is asked again once the source may be, not a whole cache time later
        round->askAgainAtMs = std::min(round->askAgainAtMs, std::max(breaker.skipUntilMs, now + 1000));
    }
    if (index >= m_sources.size()) {
        finish(round);
        return;
    }
    if (round->fill && round->fill->index == index) {
        // the fill already asked this source: its answer serves the chain too
        if (round->fill->result)
            settle(round, index, *round->fill->result);
        else
            round->fill->chainWaits = true;
        return;
    }
    if (m_fillBeside[index] && !round->fill && !m_filled.fresh(round->key))
        startFill(round, index + 1);
    send(round, index, probe,
        [this, round, index](SourceResult result) { settle(round, index, std::move(result)); });
}

void QuoteGateway::send(const std::shared_ptr<Round>& round, std::size_t index, bool probe, Then then)
{
    // Exactly one of the source's answer and the gateway's own time-out counts.
    auto settled = std::make_shared<bool>(false);
    const std::uint64_t countedAtSend = m_breakers[index].counted;
    QPointer<QTimer> timeout = new QTimer(this);
    timeout->setSingleShot(true);
    auto onResult = [this, index, settled, timeout, probe, countedAtSend, then](SourceResult result) {
        if (*settled)
            return;
        *settled = true;
        if (timeout) {
            timeout->stop();
            timeout->deleteLater();
        }
        count(index, probe, countedAtSend, result);
        then(std::move(result));
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

void QuoteGateway::count(
    std::size_t index, bool probe, std::uint64_t countedAtSend, const SourceResult& result)
{
    Breaker& breaker = m_breakers[index];
    const std::int64_t now = m_nowMs();
    if (probe)
        breaker.probing = false;
    if (result.quote || result.notFound) {
        breaker.failures = 0; // it answered: it is up
    } else if (probe) {
        breaker.skipUntilMs = now + std::int64_t(m_settings.breakerSeconds) * 1000;
    } else if (countedAtSend == breaker.counted) { // no failure came back while it was out
        ++breaker.counted;
        if (++breaker.failures >= m_settings.breakerFailures)
            breaker.skipUntilMs = now + std::int64_t(m_settings.breakerSeconds) * 1000;
    }
}

void QuoteGateway::settle(const std::shared_ptr<Round>& round, std::size_t index, SourceResult result)
{
    const QString name = m_sources[index]->name();
    if (result.quote) {
        round->quote = std::move(result.quote);
        round->priceIndex = index;
        // an answer with less than the source's full figures says so
        round->answeredBy
            = result.why.isEmpty() ? name : name + QStringLiteral(" (") + result.why + QLatin1Char(')');
        LiveQuote probe = *round->quote;
        if (const LiveQuote* kept = m_filled.find(round->key))
            FillSlowFigures(probe, *kept);
        const bool gap = LacksSlowFigures(probe);
        if (!LacksSlowFigures(*round->quote))
            m_fillBeside[index] = 0; // its own figures are whole again
        if (gap && !round->fill && !m_filled.fresh(round->key))
            startFill(round, index + 1);
        if (round->fill && (gap || round->fill->result)) {
            round->fill->roundWaits = true;
            if (!round->fill->result) {
                // the figures come soon, or the price goes without them
                QTimer::singleShot(m_settings.fillWaitMs, this, [this, round] { finishWithFill(round); });
                return;
            }
            if (gap && round->fill->index != index && FillsAny(*round->quote, *round->fill->result))
                m_fillBeside[index] = 1;
        }
        finishWithFill(round);
        return;
    }
    if (result.notFound) {
        round->notFound = true;
        round->reasons << name + QStringLiteral(": not found");
    } else {
        round->failed = true;
        round->reasons << name + QStringLiteral(": ")
                + (result.why.isEmpty() ? QStringLiteral("failed") : result.why);
    }
    ask(round, index + 1);
}

void QuoteGateway::startFill(const std::shared_ptr<Round>& round, std::size_t from)
{
    for (std::size_t index = from; index < m_sources.size(); ++index) {
        if (!canFill(*round, index))
            continue;
        round->fill.emplace();
        round->fill->index = index;
        send(round, index, false, [this, round](SourceResult result) { filled(round, std::move(result)); });
        return;
    }
}

void QuoteGateway::filled(const std::shared_ptr<Round>& round, SourceResult result)
{
    RoundFill& fill = *round->fill;
    // a failure keeps what an earlier answer filled; a source that does not know it is an answer
    m_filled.keep(round->key, result.quote ? SlowFiguresOf(*result.quote) : LiveQuote {},
        result.quote.has_value() || result.notFound);
    fill.result = std::move(result);
    if (fill.chainWaits) {
        settle(round, fill.index, *fill.result);
        return;
    }
    if (!fill.roundWaits)
        return;
    if (round->quote && FillsAny(*round->quote, *fill.result))
        m_fillBeside[round->priceIndex] = 1;
    finishWithFill(round);
}

void QuoteGateway::finishWithFill(const std::shared_ptr<Round>& round)
{
    if (round->finished)
        return;
    Entry& entry = m_entries[round->key];
    if (round->fill && round->fill->result && round->fill->result->quote)
        entry.filledBy = m_sources[round->fill->index]->name();
    if (const LiveQuote* kept = m_filled.find(round->key); kept && round->quote) {
        const int n = FillSlowFigures(*round->quote, *kept);
        if (n > 0) {
            const QString by = entry.filledBy.isEmpty() ? QStringLiteral("another source") : entry.filledBy;
            round->answeredBy += QStringLiteral("; %1 filled %2 figure%3")
                                     .arg(by)
                                     .arg(n)
                                     .arg(n == 1 ? QString() : QStringLiteral("s"));
        }
    }
    finish(round);
}

void QuoteGateway::finish(const std::shared_ptr<Round>& round)
{
    round->finished = true;
    const std::int64_t now = m_nowMs();
    Entry& entry = m_entries[round->key];
    entry.inFlight = false;
    if (!round->asked) {
        round->notFound = true;
        round->reasons << QStringLiteral("no source has a spelling for it");
    }
    entry.askAgainAtMs = std::min(entry.askAgainAtMs, round->askAgainAtMs);
    const QString reasons = round->reasons.join(QStringLiteral("; "));
    GatewayAnswer answer;
    if (round->quote) {
        entry.quote = round->quote;
        entry.quoteSource = round->answeredBy;
        entry.quoteAtMs = now;
        entry.notFound = false;
        entry.lastNote
            = reasons.isEmpty() ? round->answeredBy : round->answeredBy + QStringLiteral(" after ") + reasons;
        answer.outcome = GatewayOutcome::Live;
        answer.quote = *round->quote;
        answer.note = entry.lastNote;
    } else {
        entry.lastNote = reasons.isEmpty() ? QStringLiteral("no source") : reasons;
        const bool staleAtHand
            = entry.quote && now - entry.quoteAtMs <= std::int64_t(m_settings.staleSeconds) * 1000;
        // Every source that answered says the symbol is gone: an old quote would mislead. When
        // another failed, the one that does not know it may simply not cover it: the old quote stands.
        if (round->notFound && (!round->failed || !staleAtHand)) {
            entry.notFound = true;
            if (!round->failed)
                entry.quote.reset();
            answer.outcome = GatewayOutcome::NotFound;
            answer.note = entry.lastNote;
        } else if (staleAtHand) {
            entry.notFound = false;
            answer.outcome = GatewayOutcome::Stale;
            answer.quote = *entry.quote;
            answer.ageMs = now - entry.quoteAtMs;
            answer.note = QStringLiteral("stale from %1, %2 s old (%3)")
                              .arg(entry.quoteSource)
                              .arg((now - entry.quoteAtMs) / 1000)
                              .arg(entry.lastNote);
        } else {
            entry.notFound = false;
            answer.outcome = GatewayOutcome::Failed;
            answer.note = QStringLiteral("every source failed: ") + entry.lastNote;
        }
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
    // Symbols leave in the order they were asked, so each request looks at the few that are due
    // rather than at every symbol kept.
    const std::int64_t keepMs
        = std::int64_t(std::max(m_settings.cacheSeconds, m_settings.staleSeconds)) * 1000;
    // An entry still in flight goes to the back of the line with its own time, so it is looked
    // at again once it may be done; the budget keeps a line of them from going round for ever.
    std::size_t budget = m_asked.size();
    while (!m_asked.empty() && budget-- > 0) {
        const auto [key, askedAt] = m_asked.front();
        const bool old = now - askedAt > keepMs;
        if (!old && m_entries.size() <= kPruneAbove)
            break;
        m_asked.pop_front();
        const auto it = m_entries.find(key);
        // a symbol asked again since is further back in the line
        if (it == m_entries.end() || it->askedAtMs != askedAt)
            continue;
        if (it->inFlight)
            m_asked.emplace_back(key, askedAt);
        else
            m_entries.erase(it);
    }
}
