#pragma once

#include "quote/quoterecord.h"

#include <cstddef>
#include <vector>

// One full quote record per successful retrieval, in the order of retrieval. Never trimmed while
// the window is open.
class SampleHistory final {
public:
    // Appends a copy and returns its index.
    std::size_t Add(const QuoteRecord& record)
    {
        m_samples.push_back(record);
        return m_samples.size() - 1;
    }

    std::size_t size() const { return m_samples.size(); }
    bool empty() const { return m_samples.empty(); }
    const QuoteRecord& operator[](std::size_t i) const { return m_samples[i]; }
    const std::vector<QuoteRecord>& records() const { return m_samples; }
    void reserve(std::size_t n) { m_samples.reserve(n); }

private:
    std::vector<QuoteRecord> m_samples;
};
