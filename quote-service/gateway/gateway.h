#pragma once

#include "gateway/sources/quotesource.h"
#include "gateway/sources/slowfigures.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// 1 to 20 letters, digits and . - ^ = : the only symbols ever sent to a provider.
bool IsAllowedSymbol(const QByteArray& symbol);

struct GatewaySettings {
    int cacheSeconds = 60; // a symbol is asked upstream at most once in this time
    int staleSeconds = 900; // when every source fails, a quote this young is still served
    int breakerFailures = 3; // failures in a row after which a source is left out ...
    int breakerSeconds = 60; // ... for this long
    int answerMs = 30'000; // a source that has not answered by then has failed
    int fillWaitMs = 2'000; // a price waits no longer for another source's figures; they are kept for later
};

enum class GatewayOutcome {
    Live, // a source answered just now
    Cached, // answered within the cache time
    Stale, // every source failed; an older quote stands in
    NotFound, // the providers do not know the symbol
    Failed, // nothing to serve
};

struct GatewayAnswer {
    GatewayOutcome outcome = GatewayOutcome::Failed;
    LiveQuote quote; // for Live, Cached and Stale
    std::int64_t ageMs = 0; // since the quote's source gave it
    QString note; // which source answered, or why each one failed; never holds the token
};

// Between the requests and the live sources: the cache, the chain in order, one upstream round
// per symbol at a time shared by every request that waits for it, and a breaker per source.
class QuoteGateway final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QuoteGateway)

public:
    using Done = std::function<void(const GatewayAnswer&)>;
    using Clock = std::function<std::int64_t()>; // milliseconds, only ever compared

    QuoteGateway(std::vector<std::unique_ptr<QuoteSource>> sources, const GatewaySettings& settings,
        QObject* parent = nullptr);
    ~QuoteGateway() override;

    void setClock(Clock nowMs) { m_nowMs = std::move(nowMs); }
    // Kept out of every note, whatever a source says.
    void setSecret(const QString& secret) { m_secret = secret; }

    // Answers through done, exactly once; at once from the cache, or when the round ends.
    // The symbol must have passed IsAllowedSymbol.
    void quote(const QByteArray& country, const QByteArray& symbol, Done done);

    qsizetype cachedSymbols() const { return m_entries.size(); }
    QStringList sourceNames() const;

private:
    // Open after failures in a row; a failure counts only when its request went out after the
    // last counted one came back, so requests that fail together are one piece of evidence.
    // Once the pause is over one probe goes through, and its answer decides.
    struct Breaker {
        int failures = 0;
        std::int64_t skipUntilMs = 0;
        std::uint64_t counted = 0; // failures counted so far, to tell which requests went out after one
        bool probing = false;
    };
    struct Entry {
        std::optional<LiveQuote> quote;
        QString quoteSource;
        std::int64_t quoteAtMs = 0;
        std::optional<std::int64_t> askedAtMs;
        std::int64_t askAgainAtMs = 0; // until then the providers are left alone for this symbol
        bool notFound = false;
        QString lastNote;
        bool inFlight = false;
        std::vector<Done> waiters;
        QString filledBy; // the source that filled the figures kept for it
    };
    struct Round;
    using Then = std::function<void(SourceResult)>;

    bool canFill(const Round& round, std::size_t index) const;
    void ask(const std::shared_ptr<Round>& round, std::size_t index);
    // One request to a source under the gateway's time-out; its answer counts for the breaker.
    void send(const std::shared_ptr<Round>& round, std::size_t index, bool probe, Then then);
    void count(std::size_t index, bool probe, std::uint64_t countedAtSend, const SourceResult& result);
    void settle(const std::shared_ptr<Round>& round, std::size_t index, SourceResult result);
    void startFill(const std::shared_ptr<Round>& round, std::size_t from);
    void filled(const std::shared_ptr<Round>& round, SourceResult result);
    void finishWithFill(const std::shared_ptr<Round>& round);
    void finish(const std::shared_ptr<Round>& round);
    GatewayAnswer fromCache(const Entry& entry, std::int64_t now) const;
    void prune(std::int64_t now);
    QString scrub(QString text) const;

    std::vector<std::unique_ptr<QuoteSource>> m_sources;
    std::vector<Breaker> m_breakers;
    // a source whose last answer lacked figures that another then had: its next ones are
    // filled beside it rather than after it
    std::vector<char> m_fillBeside;
    SlowFigures m_filled; // what other sources filled in, per symbol, kept as long as a source's own
    GatewaySettings m_settings;
    Clock m_nowMs;
    QString m_secret;
    QHash<QByteArray, Entry> m_entries;
    std::deque<std::pair<QByteArray, std::int64_t>> m_asked; // symbols in the order asked upstream
};
