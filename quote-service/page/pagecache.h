#pragma once

#include "market/catalogue.h"
#include "page/servedquote.h"

#include <QByteArray>
#include <QHash>
#include <cstdint>
#include <list>

// Finished quote pages, each kept for as long as its quote prints the same. The bytes are shared
// (QByteArray's implicit sharing) with every answer that sends them, never copied; the least
// recently asked page goes first when the cache is full.
class PageCache final {
public:
    struct Kept {
        Security security;
        ServedQuote quote;
        QByteArray page;
        std::int64_t stamp = -1; // the caller's mark of when `quote` was made, e.g. the minute
    };

    explicit PageCache(qsizetype capacity = 128);

    // The page kept for `key`, or null.
    const Kept* find(const QByteArray& key);
    // The page of `security` printing `quote`: the kept bytes when they were made from exactly
    // these, else rendered anew; kept under `key` with `stamp` either way.
    const Kept& keep(
        const QByteArray& key, const Security& security, const ServedQuote& quote, std::int64_t stamp);

    qsizetype size() const { return m_pages.size(); }
    qsizetype renders() const { return m_renders; }

private:
    struct Slot {
        Kept kept;
        std::list<QByteArray>::iterator use;
    };

    qsizetype m_capacity;
    QHash<QByteArray, Slot> m_pages;
    std::list<QByteArray> m_uses; // most recent first
    qsizetype m_renders = 0;
};
