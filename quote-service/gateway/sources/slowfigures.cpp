#include "gateway/sources/slowfigures.h"

#include "gateway/sources/sourcefields.h"

SlowFigures::SlowFigures(qsizetype maxSymbols)
    : m_maxSymbols(maxSymbols)
{
    m_clock.start();
}

void SlowFigures::setLifetimes(qint64 answeredMs, qint64 failedMs)
{
    m_answeredMs = answeredMs;
    m_failedMs = failedMs;
}

bool SlowFigures::fresh(const QByteArray& symbol) const
{
    const auto it = m_kept.constFind(symbol);
    return it != m_kept.cend() && m_clock.elapsed() - it->bornMs < (it->answered ? m_answeredMs : m_failedMs);
}

bool SlowFigures::addTo(const QByteArray& symbol, LiveQuote& quote) const
{
    const auto it = m_kept.constFind(symbol);
    if (it == m_kept.cend())
        return false;
    FillMissing(quote, it->figures);
    return true;
}

const LiveQuote* SlowFigures::find(const QByteArray& symbol) const
{
    const auto it = m_kept.constFind(symbol);
    return it == m_kept.cend() ? nullptr : &it->figures;
}

void SlowFigures::keep(const QByteArray& symbol, const LiveQuote& figures, bool answered)
{
    auto it = m_kept.find(symbol);
    if (it == m_kept.end()) {
        // the first kept is the first forgotten: no scan of every symbol to find room
        while (m_kept.size() >= m_maxSymbols && !m_order.empty()) {
            m_kept.remove(m_order.front());
            m_order.pop_front();
        }
        it = m_kept.insert(symbol, Kept { figures, 0, answered });
        m_order.push_back(symbol);
    } else if (answered) {
        it->figures = figures;
    }
    it->bornMs = m_clock.elapsed();
    it->answered = answered;
}
