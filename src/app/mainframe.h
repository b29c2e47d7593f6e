#pragma once

#include "markets/gui/childwindowhost.h"
#include "platform/notifier.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QStatusBar;
class QToolBar;
class ApplicationCommands;
class CView;
class Notifier;

// Passes the fetch's messages on and knows whether one of them is open.
class FetchMessageWatch final : public Notifier {
public:
    explicit FetchMessageWatch(Notifier& inner)
        : m_inner(inner)
    {
    }
    void showMessage(const std::string& text) override { showMessageWithDetails(text, {}); }
    void showMessageWithDetails(const std::string& text, const std::string& details) override;
    void limitWaiting(int milliseconds) override { m_inner.limitWaiting(milliseconds); }
    bool isOpen() const { return m_open > 0; }

private:
    Notifier& m_inner;
    int m_open = 0;
};

// The top-level MDI window. Owns the entries, the page reader and the quote manager that the
// child windows share, and routes commands to the active view, itself and the application.
class CMainFrame final : public QMainWindow, public ChildWindowHost {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)
public:
    CMainFrame(ApplicationCommands& app, Notifier& notifier);
    ~CMainFrame() override;

    // Builds menus, toolbar and status bar, 800 x 750, centred. False when that fails.
    bool LoadFrame();

private:
    FetchMessageWatch m_fetchMessages; // before the reader and the manager that report through it

public:
    QuoteEntry m_defaultEntry;
    QuoteEntry m_currentEntry;
    QStatusBar* m_wndStatusBar = nullptr;
    CPageReader m_pageReader;
    CQuoteManager m_quoteManager;
    EntryArray m_searchResults;
    QToolBar* m_wndToolBar = nullptr;

    // QuoteWindowHost
    QuoteEntry& currentEntry() override { return m_currentEntry; }
    EntryArray& searchResults() override { return m_searchResults; }
    bool createQuoteDocument() override;
    void addRecentEntry(const std::string& text) override;
    void fetchFinished() override;
    CQuoteManager* quoteManager() override { return &m_quoteManager; }

    // ChildWindowHost
    const QuoteEntry& defaultEntry() const override { return m_defaultEntry; }
    QWidget* dialogParent() override { return this; }
    CDocTemplate* listDocumentTemplate() const override;
    QMetaObject::Connection onQuoteFetchEnded(QObject* context, std::function<void()> slot) override;
    bool fetchMessageOpen() const override { return m_fetchMessages.isOpen(); }
    // Closes the frame once the fetch under way is over; the request is never lost.
    void closeAfterFetch();

    ApplicationCommands& app() { return m_app; }
    Notifier& notifier() override { return m_notifier; }
    QMdiArea* mdiArea() const { return m_mdiArea; }

    // Pane 0 of the status bar, repainted at once.
    void SetMessageText(const std::string& text) override;
    std::string messageText() const;

    // The view of the active child window, if any.
    CView* activeView() const;
    // The action of a command id (tests and the views' shortcuts use it); null when unknown.
    QAction* action(int commandId) const;
    // Runs a command as if chosen from the menu: active view, then frame, then application.
    void runCommand(int commandId);
    void updateCommandEnabling();

    // Window > Cascade: each window keeps its own size as far as the area allows.
    void cascadeChildWindows();
    // The CAPS, NUM and SCRL panes as shown.
    std::array<bool, 3> lockPanes() const;

    // Market commands and the worldwide search.
    void OnMarketCommand(int commandId);
    void OnFindWorldwide();
    // Ctrl+S: the document stores nothing, so an empty file under the name the user picks.
    void OnFileSave();
    // Test hook: answers the save dialog with this name (empty cancels).
    static std::function<QString()> s_saveFileNameForTesting;

Q_SIGNALS:
    // A fetch is over: refreshes held back by it may run now.
    void quoteFetchEnded();

private:
    ApplicationCommands& m_app;
    Notifier& m_notifier;
    QMdiArea* m_mdiArea = nullptr;
    QLabel* m_messagePane = nullptr;
    std::map<int, QAction*> m_actions;

    void buildActions();
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void showMenuFor(QMdiSubWindow* active);

    struct Parts; // the two menu sets, the recent-file items and the indicator panes
    std::unique_ptr<Parts> m_parts;
    bool frameHandles(int commandId) const;
    void frameCommand(int commandId);
    void rebuildRecentItems();
    void updateTitle();
    QString wantedTitle() const;
    void afterFetch();
    void arrangeIcons();
    bool closeChildWindows(); // false when one of them refused

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
