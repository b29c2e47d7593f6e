#include "markets/gui/findworldwide.h"

#include "app/mainframe.h"
#include "markets/gui/cdia_findworldwide.h"
#include "markets/liststate.h"
#include "platform/waitcursor.h"

void RunFindWorldwide(CMainFrame& frame)
{
    {
        CDia_FindWorldwide dialog(frame.notifier(), &frame);
        if (CDia_FindWorldwide::RunModal(dialog) != QDialog::Accepted)
            return;
    }
    const size_t colon = g_searchText.find(':');
    if (colon == std::string::npos)
        return;
    frame.m_quoteManager.CopyEntry(frame.m_currentEntry, frame.m_defaultEntry);
    frame.m_currentEntry.countryCode = g_searchText.substr(0, colon);
    frame.m_currentEntry.symbol = g_searchText.substr(colon + 1);
    frame.m_currentEntry.companyName.clear();
    // OpenQuote writes m_currentEntry itself, so it gets a copy rather than the member.
    const QuoteEntry entry = frame.m_currentEntry;
    WaitCursor wait;
    frame.m_quoteManager.OpenQuote(entry);
}
