#pragma once

#include "quote/quotewindowhost.h"

// A host without windows, for the command-line tool, the tests, the fuzzers and the benchmarks:
// it keeps the entries it is handed and never opens a quote window.
class NullWindowHost final : public QuoteWindowHost {
public:
    QuoteEntry& currentEntry() override { return m_current; }
    EntryArray& searchResults() override { return m_results; }
    bool createQuoteDocument() override { return false; }
    void addRecentEntry(const std::string&) override { }

private:
    QuoteEntry m_current;
    EntryArray m_results;
};
