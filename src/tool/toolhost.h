#pragma once

#include "quote/quotewindowhost.h"

// The command-line tool has no windows: it only fetches and prints.
class ToolHost final : public QuoteWindowHost {
public:
    QuoteEntry& currentEntry() override { return m_current; }
    EntryArray& searchResults() override { return m_results; }
    bool createQuoteDocument() override { return false; }
    void addRecentEntry(const std::string&) override { }

private:
    QuoteEntry m_current;
    EntryArray m_results;
};
