#include "markets/liststate.h"
#include "markets/recententry.h"
#include "quote/quotemanager.h"
#include "quote/quotewindowhost.h"

bool CQuoteManager::OpenQuote(const QuoteEntry& entry)
{
    frame().currentEntry() = entry;

    // The check fills in the company name from the page when the entry has none, and marks a
    // simulated quote's.
    QuoteEntry checked = entry;
    if (!FetchQuote(&checked, nullptr))
        return false;
    // The new window starts from the current entry: give it the name the check settled, so its
    // chart caption carries the company even when the caller knew only the symbol.
    frame().currentEntry().companyName = checked.companyName;

    g_pendingListKind = 0;
    if (!frame().createQuoteDocument())
        return false;
    frame().addRecentEntry(RecentListText(checked.companyName, checked.countryCode, checked.symbol));
    return true;
}
