#include "markets/gui/findworldwide.h"

#include "markets/gui/cdia_findworldwide.h"
#include "markets/gui/childwindowhost.h"
#include "markets/liststate.h"
#include "platform/waitcursor.h"
#include "quote/quotemanager.h"

void RunFindWorldwide(ChildWindowHost& frame)
{
    {
        CDia_FindWorldwide dialog(frame.notifier(), frame.dialogParent());
        if (CDia_FindWorldwide::RunModal(dialog) != QDialog::Accepted)
            return;
    }
    const size_t colon = g_searchText.find(':');
    if (colon == std::string::npos)
        return;
    CQuoteManager& manager = *frame.quoteManager();
    QuoteEntry& current = frame.currentEntry();
    manager.CopyEntry(current, frame.defaultEntry());
    current.countryCode = g_searchText.substr(0, colon);
    current.symbol = g_searchText.substr(colon + 1);
    current.companyName.clear();
    // OpenQuote writes m_currentEntry itself, so it gets a copy rather than the member.
    const QuoteEntry entry = current;
    WaitCursor wait;
    manager.OpenQuote(entry);
}
