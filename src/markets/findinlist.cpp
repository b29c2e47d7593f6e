#include "markets/cp1252case.h"
#include "platform/notifier.h"
#include "platform/waitcursor.h"
#include "quote/quotemanager.h"
#include "quote/quotewindowhost.h"

namespace {

// Lower-cases into a buffer kept across entries, so a search of a big list does not allocate
// once per field.
bool ContainsLowered(const std::string& field, const std::string& loweredText, std::string& buffer)
{
    buffer.assign(field);
    buffer = LowerCp1252(std::move(buffer));
    return buffer.find(loweredText) != std::string::npos;
}

} // namespace

int CQuoteManager::FindInList(std::string text, const EntryArray& entries)
{
    EntryArray& results = m_frame.searchResults();
    results.clear();
    text = LowerCp1252(std::move(text));
    {
        WaitCursor wait;
        std::string buffer;
        for (const QuoteEntry& entry : entries) {
            // Array order, not screen order: the result window sorts for itself.
            if (ContainsLowered(entry.companyName, text, buffer)
                || ContainsLowered(entry.symbol, text, buffer))
                results.push_back(entry);
        }
    }
    if (results.empty())
        m_notifier.showMessage("Quote \"" + text + "\" not found a list.");
    return static_cast<int>(results.size());
}
