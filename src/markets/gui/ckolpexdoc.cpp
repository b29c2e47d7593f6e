#include "markets/gui/ckolpexdoc.h"

#include "app/mainframe.h"
#include "markets/recententry.h"
#include "platform/waitcursor.h"

CKolpexDoc::CKolpexDoc(CMainFrame& mainFrame)
    : m_pMainFrame(&mainFrame)
{
}

bool CKolpexDoc::OnOpenDocument(const std::string& path)
{
    const auto parts = ParseRecentEntry(path);
    if (!parts)
        return false;
    QuoteEntry entry;
    m_pMainFrame->m_quoteManager.CopyEntry(entry, m_pMainFrame->m_defaultEntry);
    entry.countryCode = parts->countryCode;
    entry.symbol = parts->symbol;
    entry.companyName = parts->companyName;
    WaitCursor wait;
    m_pMainFrame->m_quoteManager.OpenQuote(entry);
    return false;
}
