#include "page/pagecache.h"

#include "page/pagerender.h"

PageCache::PageCache(qsizetype capacity)
    : m_capacity(std::max<qsizetype>(1, capacity))
{
}

const PageCache::Kept* PageCache::find(const QByteArray& key)
{
    const auto it = m_pages.find(key);
    if (it == m_pages.end())
        return nullptr;
    m_uses.splice(m_uses.begin(), m_uses, it->use);
    return &it->kept;
}

const PageCache::Kept& PageCache::keep(
    const QByteArray& key, const Security& security, const ServedQuote& quote, std::int64_t stamp)
{
    auto it = m_pages.find(key);
    if (it == m_pages.end()) {
        if (m_pages.size() >= m_capacity) {
            m_pages.remove(m_uses.back());
            m_uses.pop_back();
        }
        m_uses.push_front(key);
        it = m_pages.insert(key, Slot { {}, m_uses.begin() });
    } else {
        m_uses.splice(m_uses.begin(), m_uses, it->use);
    }
    Kept& kept = it->kept;
    // Every figure and name the page prints takes part: a changed quote never goes out in old bytes.
    if (kept.page.isEmpty() || kept.security != security || kept.quote != quote) {
        kept.security = security;
        kept.quote = quote;
        kept.page = RenderQuotePage(security, quote);
        ++m_renders;
    }
    kept.stamp = stamp;
    return kept;
}
