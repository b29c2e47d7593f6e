#pragma once

#include "quote/quoteentry.h"

#include <string>

class CQuoteManager;

// What CQuoteManager needs of the main frame. The main frame implements it; tests and the
// command-line tool give their own.
class QuoteWindowHost {
public:
    virtual ~QuoteWindowHost() = default;

    virtual QuoteEntry& currentEntry() = 0; // m_currentEntry
    virtual EntryArray& searchResults() = 0; // m_searchResults
    // Asks the quote document template for a new, visible document; true when one was made.
    virtual bool createQuoteDocument() = 0;
    // Adds a quote window's recent-list text to the recent-file list.
    virtual void addRecentEntry(const std::string& text) = 0;
    // Told when a fetch is over, its message included; what waited for it may go on.
    virtual void fetchFinished() { }
    // The quote manager that opens the host's quote windows; none where the host opens none.
    virtual CQuoteManager* quoteManager() { return nullptr; }
};
