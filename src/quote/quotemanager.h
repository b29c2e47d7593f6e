#pragma once

#include "quote/quoteentry.h"
#include "quote/quoterecord.h"

#include <string>

class CPageReader;
class ListEntries;
class Notifier;
class QuoteWindowHost;

// The main frame's small object that fetches quotes, loads market lists, searches them and
// opens quote windows. Its operations live beside the subsystem they belong to:
// FetchQuote/CopyEntry/OpenQuote in quote/, LoadMarketList/FindInList in markets/.
class CQuoteManager final {
public:
    CQuoteManager(
        const QuoteEntry& defaultEntry, CPageReader& pageReader, QuoteWindowHost& frame, Notifier& notifier);

    // Downloads and parses the entry's quote page. entry may be null (refused); record may be null
    // (existence check only). True when the page gave a quote time; the record is then overwritten.
    bool FetchQuote(QuoteEntry* entry, QuoteRecord* record);
    // True from the start of a fetch until its failure message, if any, is closed.
    static bool FetchInProgress();

    // Steps of FetchQuote after the download, on a page text already in hand: same record and messages.
    bool ParseQuotePage(const std::string& page, QuoteEntry& entry, QuoteRecord* record);

    void CopyEntry(QuoteEntry& destination, const QuoteEntry& source) const;

    bool LoadMarketList(const std::string& code, EntryArray& entries);
    // The same, keeping the file's bytes and building each entry when it is asked for.
    bool LoadMarketList(const std::string& code, ListEntries& entries);
    int FindInList(std::string text, const EntryArray& entries);
    int FindInList(std::string text, const ListEntries& entries);
    bool OpenQuote(const QuoteEntry& entry);

    const QuoteEntry& defaultEntry() const { return m_defaultEntry; }
    CPageReader& pageReader() { return m_pageReader; }
    QuoteWindowHost& frame() { return m_frame; }
    Notifier& notifier() { return m_notifier; }

private:
    const QuoteEntry& m_defaultEntry;
    CPageReader& m_pageReader;
    QuoteWindowHost& m_frame;
    Notifier& m_notifier;
};
