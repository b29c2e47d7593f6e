#pragma once

#include "quote/quoteentry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Columns of a market list window.
enum ListColumn {
    kColumnCompany = 0,
    kColumnSymbol = 1,
    kColumnVolume = 2,
    kColumnListed = 3,
    kColumnCount = 4
};

// The entries of one list window. A market list keeps its file's bytes as read and one offset a
// record line; an entry's texts are cut from its line when a row is shown, sorted, searched or
// opened, so loading costs little more than the read. Search results are held whole.
class ListEntries final {
public:
    ListEntries() = default;
    explicit ListEntries(EntryArray entries);

    // Takes over size bytes of a list file (the text ends at the first zero byte) and indexes its
    // record lines. Each entry is entryTemplate with the line's four texts.
    ListEntries(std::unique_ptr<char[]> bytes, std::size_t size, const QuoteEntry& entryTemplate);

    std::size_t size() const { return m_records.empty() ? m_entries.size() : m_records.size(); }
    bool empty() const { return size() == 0; }

    // Entry i's text in a column, usually a view into the list itself. A symbol that loses marks
    // is built in scratch, and then the view points into scratch.
    std::string_view text(std::size_t i, int column, std::string& scratch) const;
    // Entry i in full, all eight fields.
    QuoteEntry entry(std::size_t i) const;
    EntryArray toArray() const;

private:
    std::unique_ptr<char[]> m_bytes;
    std::vector<std::uint32_t> m_records; // offset of each record line in m_bytes
    QuoteEntry m_template;
    EntryArray m_entries;
};
