#pragma once

// The program's shell with the real list view, for the list window tests: a private settings
// store and working directory, a quote service address that refuses at once, and a notifier
// that records instead of showing boxes.

#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "markets/gui/clistview.h"
#include "markets/liststate.h"
#include "platform/notifier.h"
#include "quotewin/gui/ckolpexview.h"
#include "support/quoteentries.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <memory>

namespace guifixture {

// Run before the first QSettings is made, so the store lands in the temporary directory.
inline void IsolateEnvironment(const QTemporaryDir& dir)
{
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    qputenv("KOLPEX_QUOTE_SERVICE", "http://127.0.0.1:1");
    QDir::setCurrent(dir.path());
}

// A 63-byte list file record with CR LF.
inline std::string Record(const std::string& company, const std::string& symbol, const std::string& volume,
    const std::string& listed)
{
    auto pad = [](std::string s, size_t n) {
        s.resize(n, ' ');
        return s;
    };
    return pad(company, 40) + " " + pad(symbol, 7) + pad(volume, 5) + " " + pad(listed, 8) + "\r\n";
}

struct Shell {
    RecordingNotifier notifier;
    std::unique_ptr<CKolpexApp> app;

    bool start()
    {
        app = std::make_unique<CKolpexApp>(
            notifier, [](CDocument* d, CMainFrame& f) -> CView* { return new CKolpexView(d, f); },
            [](CDocument* d, CMainFrame& f) -> CView* { return new CListView_(d, f); });
        return app->InitInstance();
    }
    CMainFrame& frame() { return *app->mainFrame(); }

    // A result-kind list window over the given entries, titled as asked.
    CListView_* openList(const EntryArray& entries, const std::string& title = "Test list")
    {
        frame().m_searchResults = entries;
        g_pendingListKind = 2;
        CDocument* doc = app->m_pListTemplate->OpenDocumentFile(nullptr);
        g_pendingListKind = 0;
        if (!doc)
            return nullptr;
        doc->SetTitle(title);
        return doc->views().empty() ? nullptr : qobject_cast<CListView_*>(doc->views().front());
    }

    CListView_* activeList() { return qobject_cast<CListView_*>(frame().activeView()); }

    void closeAll() { frame().mdiArea()->closeAllSubWindows(); }
};

inline QStringList ColumnShown(const CListView_& view, int column)
{
    QStringList out;
    const QAbstractItemModel* model = view.table()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, column).data().toString();
    return out;
}

} // namespace guifixture
