#pragma once

#include "gateway/sources/quotesource.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <deque>

// A source's figures that change slowly (Yahoo's summary, Finnhub's profile and ratios), kept per
// symbol: for hours after the provider answered (a "not found" is an answer too), for minutes
// after a failure to get them. The oldest are forgotten first once there are too many.
class SlowFigures final {
public:
    explicit SlowFigures(qsizetype maxSymbols = 4096);

    void setLifetimes(qint64 answeredMs, qint64 failedMs);
    // Whether the kept figures are still young enough to stand without asking again.
    bool fresh(const QByteArray& symbol) const;
    // Fills what quote lacks from the kept figures, fresh or not; false when none are kept.
    bool addTo(const QByteArray& symbol, LiveQuote& quote) const;
    // The kept figures, fresh or not; null when none are kept.
    const LiveQuote* find(const QByteArray& symbol) const;
    // A failure to get them keeps the figures of an earlier answer.
    void keep(const QByteArray& symbol, const LiveQuote& figures, bool answered);
    qsizetype size() const { return m_kept.size(); }

private:
    struct Kept {
        LiveQuote figures;
        qint64 bornMs = 0;
        bool answered = false;
    };

    qsizetype m_maxSymbols;
    qint64 m_answeredMs = 6LL * 3600 * 1000;
    qint64 m_failedMs = 15LL * 60 * 1000;
    QHash<QByteArray, Kept> m_kept;
    std::deque<QByteArray> m_order; // symbols in the order first kept
    QElapsedTimer m_clock;
};
