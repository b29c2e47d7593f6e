// The main frame's command routing: the active view first, then the frame, then the application;
// the enabling of every command and the recent-file items of the File menu.
#include "app/appcommands.h"
#include "app/helpwindow.h"
#include "app/mainframe.h"
#include "app/mainframe_parts.h"
#include "markets/gui/findworldwide.h"
#include "markets/liststate.h"
#include "markets/markettable.h"
#include "markets/recententry.h"
#include "platform/gui/docview.h"
#include "platform/recentfilelist.h"
#include "platform/textcodec.h"
#include "platform/waitcursor.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSaveFile>
#include <QStatusBar>
#include <QToolBar>
#include <QWhatsThis>

namespace {

bool AppHandles(ApplicationCommands& app, int id)
{
    switch (id) {
    case ids::ID_APP_ABOUT:
    case ids::ID_FILE_NEW:
    case ids::ID_FILE_OPEN:
    case ids::ID_FILE_PRINT_SETUP:
    case ids::ID_APP_EXIT:
        return true;
    default:
        return id >= ids::ID_FILE_MRU_FILE1 && id <= ids::ID_FILE_MRU_LAST
            && id - ids::ID_FILE_MRU_FILE1 < app.recentFiles().size();
    }
}

// "&1 text" for the first nine, "1&0 text" for the tenth, no mnemonic after that.
QString RecentItemText(int index, const QString& entry)
{
    // Stored in an earlier release under the current directory: all after it, slashes included.
    // Otherwise the same split as reopening, so a company holding a slash shows whole.
    const QString prefix = QDir::currentPath() + QLatin1Char('/');
    const std::string raw = ToCp1252(entry);
    QString shown = raw.find(kRecentEntrySeparator) == std::string::npos && entry.startsWith(prefix)
        ? entry.mid(prefix.size())
        : FromCp1252(raw.substr(RecentEntryTextStart(raw)));
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    const int number = index + 1;
    QString label;
    if (number < 10)
        label = QStringLiteral("&%1 ").arg(number);
    else if (number == 10)
        label = QStringLiteral("1&0 ");
    else
        label = QStringLiteral("%1 ").arg(number);
    return label + shown;
}

} // namespace

QAction* CMainFrame::action(int commandId) const
{
    const auto it = m_actions.find(commandId);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::runCommand(int commandId)
{
    if (CView* view = activeView(); view && view->HandlesCommand(commandId)) {
        view->OnCommand(commandId);
    } else if (frameHandles(commandId)) {
        frameCommand(commandId);
    } else if (AppHandles(m_app, commandId)) {
        switch (commandId) {
        case ids::ID_APP_ABOUT:
            m_app.OnAppAbout();
            break;
        case ids::ID_FILE_NEW:
            m_app.OnFileNew();
            break;
        case ids::ID_FILE_OPEN:
            m_app.OnFileOpen();
            break;
        case ids::ID_FILE_PRINT_SETUP:
            m_app.OnFilePrintSetup();
            break;
        case ids::ID_APP_EXIT:
            close();
            break;
        default:
            m_app.OnOpenRecentFile(commandId - ids::ID_FILE_MRU_FILE1);
            break;
        }
    }
    // The frame may be on its way out (Exit); only touch it while it still has its parts.
    if (m_parts)
        updateCommandEnabling();
}

bool CMainFrame::frameHandles(int commandId) const
{
    if (MarketByCommand(commandId))
        return true;
    switch (commandId) {
    case ids::ID_FIND_WORLDWIDE:
    case ids::ID_VIEW_TOOLBAR:
    case ids::ID_VIEW_STATUS_BAR:
    case ids::ID_WINDOW_CASCADE:
    case ids::ID_WINDOW_TILE_HORZ:
    case ids::ID_WINDOW_ARRANGE:
        return true;
    case ids::ID_HELP_FINDER:
    case ids::ID_HELP:
    case ids::ID_DEFAULT_HELP:
    case ids::ID_CONTEXT_HELP:
        return true;
    case ids::ID_FILE_CLOSE:
    case ids::ID_FILE_SAVE:
    case ids::ID_WINDOW_NEW:
        return activeView() != nullptr;
    default:
        // The pane keys have no split window to move in; undo, cut, copy and paste have
        // nothing to act on.
        return false;
    }
}

void CMainFrame::frameCommand(int commandId)
{
    if (MarketByCommand(commandId)) {
        OnMarketCommand(commandId);
        return;
    }
    switch (commandId) {
    case ids::ID_FIND_WORLDWIDE:
        OnFindWorldwide();
        break;
    case ids::ID_VIEW_TOOLBAR:
        m_wndToolBar->setVisible(!m_wndToolBar->isVisible());
        break;
    case ids::ID_VIEW_STATUS_BAR:
        m_wndStatusBar->setVisible(!m_wndStatusBar->isVisible());
        m_actions.at(ids::ID_VIEW_STATUS_BAR)->setChecked(m_wndStatusBar->isVisible());
        break;
    case ids::ID_WINDOW_CASCADE:
        cascadeChildWindows();
        break;
    case ids::ID_WINDOW_TILE_HORZ:
        m_mdiArea->tileSubWindows();
        break;
    case ids::ID_WINDOW_ARRANGE:
        arrangeIcons();
        break;
    case ids::ID_HELP_FINDER:
        ShowHelpTopics(this);
        break;
    case ids::ID_HELP:
    case ids::ID_DEFAULT_HELP: {
        // F1 opens the guide at the section about the window in front.
        const CView* view = activeView();
        const CDocTemplate* kind = view && view->GetDocument() ? view->GetDocument()->docTemplate() : nullptr;
        if (!kind)
            ShowHelpTopics(this);
        else
            ShowHelpSection(this,
                kind->resourceId() == ids::IDR_KOLPEXTYPE ? QStringLiteral("quotes")
                                                          : QStringLiteral("lists"));
        break;
    }
    case ids::ID_CONTEXT_HELP:
        QWhatsThis::enterWhatsThisMode();
        break;
    case ids::ID_WINDOW_NEW:
        if (CView* view = activeView(); view && view->GetDocument() && view->GetDocument()->docTemplate())
            view->GetDocument()->docTemplate()->CreateNewWindow(view->GetDocument());
        break;
    case ids::ID_FILE_CLOSE:
        if (CView* view = activeView(); view && view->GetDocument()) {
            // Closing a document closes every window on it.
            const std::vector<CView*> views = view->GetDocument()->views();
            for (CView* v : views) {
                if (auto* frame = qobject_cast<QMdiSubWindow*>(v->parentWidget()))
                    frame->close();
            }
        }
        break;
    case ids::ID_FILE_SAVE:
        OnFileSave();
        break;
    default:
        break;
    }
}

std::function<QString()> CMainFrame::s_saveFileNameForTesting;

void CMainFrame::OnFileSave()
{
    const CView* view = activeView();
    if (!view || !view->GetDocument())
        return;
    const QString name = s_saveFileNameForTesting
        ? s_saveFileNameForTesting()
        : QFileDialog::getSaveFileName(
            this, QStringLiteral("Save As"), FromCp1252(view->GetDocument()->GetTitle()));
    if (name.isEmpty())
        return;
    // Documents hold nothing of their own, so what is saved is an empty file.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || !file.commit())
        m_notifier.showMessage("Can not open an output file \"" + ToCp1252(name) + "\".");
}

void CMainFrame::OnMarketCommand(int commandId)
{
    const MarketInfo* market = MarketByCommand(commandId);
    if (!market || !m_app.listTemplate())
        return;
    g_pendingListKind = market->listKind;
    CDocument* document = nullptr;
    {
        WaitCursor wait;
        document = m_app.listTemplate()->OpenDocumentFile(nullptr);
    }
    if (document)
        document->UpdateAllViews(nullptr);
    g_pendingListKind = 0;
    if (document)
        document->SetTitle(market->windowTitle);
}

void CMainFrame::OnFindWorldwide()
{
    RunFindWorldwide(*this);
}

void CMainFrame::updateCommandEnabling()
{
    if (!m_parts || m_actions.empty())
        return;
    rebuildRecentItems();
    CView* view = activeView();
    for (const auto& [id, action] : m_actions) {
        const bool enabled = (view && view->HandlesCommand(id)) || frameHandles(id) || AppHandles(m_app, id);
        action->setEnabled(enabled);
    }
    // With nothing in the list the File menu shows its greyed placeholder.
    if (m_app.recentFiles().size() == 0 && !m_parts->recentItems.empty())
        m_parts->recentItems.front()->setEnabled(false);
}

void CMainFrame::rebuildRecentItems()
{
    const QStringList& entries = m_app.recentFiles().entries();
    for (std::size_t i = 0; i < m_parts->recentItems.size(); ++i) {
        QAction* item = m_parts->recentItems[i];
        const int index = static_cast<int>(i);
        if (index < entries.size()) {
            item->setText(RecentItemText(index, entries.at(index)));
            item->setVisible(true);
        } else if (index == 0) {
            item->setText(QStringLiteral("Recent File"));
            item->setVisible(true);
        } else {
            item->setVisible(false);
        }
    }
    // A hidden action stays in its menu's accessible children, where a screen reader counts it
    // ("Exit. 17 of 17"): the menus hold only the items that show.
    for (const auto* menus : { &m_parts->menus128, &m_parts->menus129 }) {
        for (QMenu* menu : *menus) {
            if (!menu->actions().contains(m_parts->recentItems.front()))
                continue;
            for (std::size_t i = 1; i < m_parts->recentItems.size(); ++i) {
                QAction* item = m_parts->recentItems[i];
                const bool inMenu = menu->actions().contains(item);
                if (!item->isVisible() && inMenu) {
                    menu->removeAction(item);
                } else if (item->isVisible() && !inMenu) {
                    const QList<QAction*> actions = menu->actions();
                    const qsizetype after = actions.indexOf(m_parts->recentItems[i - 1]);
                    menu->insertAction(actions.value(after + 1), item);
                }
            }
        }
    }
}
