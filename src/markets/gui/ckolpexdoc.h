#pragma once

#include "platform/gui/docview.h"

class CGraph;
class QuoteWindowHost;
class QWidget;

// The document of both kinds of child window. It stores nothing; its one behaviour is reopening
// a quote from a recent-file list entry.
class CKolpexDoc final : public CDocument {
    Q_OBJECT
public:
    explicit CKolpexDoc(QuoteWindowHost& mainFrame);

    // Parses a recent-list text and opens its quote window through OpenQuote; always false, so
    // no window is kept for this document.
    bool OnOpenDocument(const std::string& path) override;

    QWidget* m_pDC = nullptr; // recorded by a quote view, not read back
    CGraph* m_pChart = nullptr; // recorded by a quote view, not read back
    QuoteWindowHost* m_pMainFrame; // the main frame, as far as quote windows need it
};
