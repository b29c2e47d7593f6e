#include "app/mainframe.h"

#include "app/helpwindow.h"
#include "app/kolpexapp.h"
#include "app/mainframe_parts.h"
#include "markets/gui/findworldwide.h"
#include "markets/liststate.h"
#include "markets/markettable.h"
#include "platform/gui/docview.h"
#include "platform/notifier.h"
#include "platform/recentfilelist.h"
#include "platform/textcodec.h"
#include "platform/waitcursor.h"
#include "res/resource_ids.h"
#include "res/strings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSaveFile>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QWhatsThis>
#include <QWindow>

namespace {

bool AppHandles(CKolpexApp& app, int id)
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
    QString shown = entry;
    const QString prefix = QDir::currentPath() + QLatin1Char('/');
    if (shown.startsWith(prefix)) {
        shown = shown.mid(prefix.size());
    } else {
        const qsizetype paren = shown.indexOf(QLatin1Char('('));
        const qsizetype slash = shown.lastIndexOf(QLatin1Char('/'), paren < 0 ? -1 : paren);
        if (slash >= 0)
            shown = shown.mid(slash + 1);
    }
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

// The whole window, decorations included, in the middle of the work area; a screen smaller than
// the window keeps the title bar reachable.
void centreOnScreen(QWidget& window)
{
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame(QPoint(0, 0), window.frameGeometry().size());
    frame.moveCenter(area.center());
    window.move(std::max(frame.left(), area.left()), std::max(frame.top(), area.top()));
}

} // namespace

CMainFrame::CMainFrame(CKolpexApp& app, Notifier& notifier)
    : m_pageReader(notifier)
    , m_quoteManager(m_defaultEntry, m_pageReader, *this, notifier)
    , m_app(app)
    , m_notifier(notifier)
    , m_parts(std::make_unique<Parts>())
{
    // Defaults every entry starts from; they never change.
    m_defaultEntry = QuoteEntry {};
    m_defaultEntry.writeToFile = false;
    m_defaultEntry.easternTime = true;
    m_defaultEntry.refreshInterval = 5;
    m_searchResults.clear();

    setWindowTitle(QString::fromLatin1(strings::kAppTitle));
    LoadKolpexResources();
    setWindowIcon(QIcon(QStringLiteral(":/kolpex/icons/kolpex-256.png")));
    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_mdiArea);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) {
        disconnect(m_parts->activeTitle);
        if (CView* view = activeView(); view && view->GetDocument())
            m_parts->activeTitle
                = connect(view->GetDocument(), &CDocument::titleChanged, this, &CMainFrame::updateTitle);
        showMenuFor(m_mdiArea->currentSubWindow());
        updateTitle();
        updateCommandEnabling();
    });
}

CMainFrame::~CMainFrame()
{
    qApp->removeEventFilter(this);
    // Child windows go while the frame and its quote manager are still whole.
    const auto windows = m_mdiArea->subWindowList();
    for (QMdiSubWindow* window : windows)
        delete window;
}

bool CMainFrame::LoadFrame()
{
    buildActions();
    buildMenus();
    buildToolBar();
    buildStatusBar();
    if (!m_wndToolBar || !m_wndStatusBar || !m_messagePane)
        return false;
    qApp->installEventFilter(this); // lock keys for the indicator panes

    resize(800, 750);
    centreOnScreen(*this);
    updateCommandEnabling();
    return true;
}

bool CMainFrame::createQuoteDocument()
{
    g_pendingListKind = 0;
    return m_app.m_pQuoteTemplate && m_app.m_pQuoteTemplate->OpenDocumentFile(nullptr) != nullptr;
}

void CMainFrame::addRecentEntry(const std::string& text)
{
    m_app.AddToRecentFileList(text);
}

void CMainFrame::SetMessageText(const std::string& text)
{
    m_messagePane->setText(FromCp1252(text));
    m_messagePane->repaint();
}

std::string CMainFrame::messageText() const
{
    return ToCp1252(m_messagePane->text());
}

CView* CMainFrame::activeView() const
{
    QMdiSubWindow* window = m_mdiArea ? m_mdiArea->currentSubWindow() : nullptr;
    return window ? qobject_cast<CView*>(window->widget()) : nullptr;
}

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
        m_mdiArea->cascadeSubWindows();
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
    if (!market || !m_app.m_pListTemplate)
        return;
    g_pendingListKind = market->listKind;
    CDocument* document = nullptr;
    {
        WaitCursor wait;
        document = m_app.m_pListTemplate->OpenDocumentFile(nullptr);
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
}

void CMainFrame::updateTitle()
{
    QMdiSubWindow* window = m_mdiArea->currentSubWindow();
    if (window && window->isMaximized())
        return; // the MDI area puts the child's title into ours itself
    const QString base = QString::fromLatin1(strings::kAppTitle);
    CView* view = activeView();
    if (view && view->GetDocument())
        setWindowTitle(base + QStringLiteral(" - ") + FromCp1252(view->GetDocument()->GetTitle()));
    else
        setWindowTitle(base);
}

void CMainFrame::arrangeIcons()
{
    // Minimised windows in a row along the bottom of the client area, left to right.
    const QRect area = m_mdiArea->viewport()->rect();
    int x = 0;
    int y = area.bottom();
    const auto windows = m_mdiArea->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow* window : windows) {
        if (!window->isMinimized())
            continue;
        if (x + window->width() > area.width() && x > 0) {
            x = 0;
            y -= window->height();
        }
        window->move(x, y - window->height() + 1);
        x += window->width();
    }
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_parts->centred && !event->spontaneous()) {
        m_parts->centred = true;
        centreOnScreen(*this); // now the decorations are known
    }
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_parts->closing) {
        event->ignore(); // the close already under way finishes the job
        return;
    }
    m_parts->closing = true;
    const bool allClosed = closeChildWindows();
    m_parts->closing = false;
    if (!allClosed) {
        event->ignore();
        return;
    }
    event->accept();
}

bool CMainFrame::closeChildWindows()
{
    // One window at a time, each gone before the next: a quote window writes its data file as it
    // goes and may show a message about it, which needs this frame and its quote manager whole.
    for (;;) {
        const auto windows = m_mdiArea->subWindowList(QMdiArea::StackingOrder);
        if (windows.isEmpty())
            return true;
        QPointer<QMdiSubWindow> window = windows.back();
        if (!window->close())
            return false;
        delete window.data(); // not left for a later deletion, when the frame may be gone
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        int pane = -1;
        if (key->key() == Qt::Key_CapsLock)
            pane = 0;
        else if (key->key() == Qt::Key_NumLock)
            pane = 1;
        else if (key->key() == Qt::Key_ScrollLock)
            pane = 2;
        if (pane >= 0 && !key->isAutoRepeat()
            && watched == static_cast<QObject*>(QApplication::focusWindow())) {
            auto& lock = m_parts->locks[static_cast<std::size_t>(pane)];
            lock = !lock;
            static const char* names[] = { "CAPS", "NUM", "SCRL" };
            m_parts->indicators[static_cast<std::size_t>(pane)]->setText(
                lock ? QString::fromLatin1(names[pane]) : QString());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
