#include "markets/cp1252case.h"
#include "markets/listentries.h"
#include "platform/notifier.h"
#include "platform/waitcursor.h"
#include "quote/quotemanager.h"
#include "quote/quotewindowhost.h"

namespace {

// Lower-cases into a buffer kept across entries, so a search of a big list does not allocate
// once per field.
bool ContainsLowered(std::string_view field, const std::string& loweredText, std::string& buffer)
{
    buffer.assign(field);
    buffer = LowerCp1252(std::move(buffer));
    return buffer.find(loweredText) != std::string::npos;
}

// Array order, not screen order: the result window sorts for itself. matches(i, text, buffer)
// tells whether entry i's company or symbol holds the lowered text; add(i) appends it in full.
template <typename Matches, typename Add>
int Find(CQuoteManager& manager, std::string text, std::size_t count, Matches matches, Add add)
{
    EntryArray& results = manager.frame().searchResults();
    results.clear();
    text = LowerCp1252(std::move(text));
    {
        WaitCursor wait;
        std::string buffer;
        for (std::size_t i = 0; i < count; ++i) {
            if (matches(i, text, buffer))
                add(results, i);
        }
    }
    if (results.empty())
        manager.notifier().showMessage("Quote \"" + text + "\" not found a list.");
    return static_cast<int>(results.size());
}

} // namespace

int CQuoteManager::FindInList(std::string text, const EntryArray& entries)
{
    return Find(
        *this, std::move(text), entries.size(),
        [&](std::size_t i, const std::string& lowered, std::string& buffer) {
            return ContainsLowered(entries[i].companyName, lowered, buffer)
                || ContainsLowered(entries[i].symbol, lowered, buffer);
        },
        [&](EntryArray& results, std::size_t i) { results.push_back(entries[i]); });
}

int CQuoteManager::FindInList(std::string text, const ListEntries& entries)
{
    std::string scratch;
    return Find(
        *this, std::move(text), entries.size(),
        [&](std::size_t i, const std::string& lowered, std::string& buffer) {
            return ContainsLowered(entries.text(i, kColumnCompany, scratch), lowered, buffer)
                || ContainsLowered(entries.text(i, kColumnSymbol, scratch), lowered, buffer);
        },
        [&](EntryArray& results, std::size_t i) { results.push_back(entries.entry(i)); });
}
