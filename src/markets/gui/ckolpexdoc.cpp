#include "markets/gui/ckolpexdoc.h"

#include "markets/recententry.h"
#include "platform/waitcursor.h"
#include "quote/quotemanager.h"
#include "quote/quotewindowhost.h"

CKolpexDoc::CKolpexDoc(QuoteWindowHost& mainFrame)
    : m_pMainFrame(&mainFrame)
{
}

bool CKolpexDoc::OnOpenDocument(const std::string& path)
{
    CQuoteManager* manager = m_pMainFrame ? m_pMainFrame->quoteManager() : nullptr;
    const auto parts = ParseRecentEntry(path);
    if (!parts || !manager)
        return false;
    QuoteEntry entry;
    manager->CopyEntry(entry, manager->defaultEntry());
    entry.countryCode = parts->countryCode;
    entry.symbol = parts->symbol;
    entry.companyName = parts->companyName;
    WaitCursor wait;
    manager->OpenQuote(entry);
    return false;
}
