#include "app/mainframe.h"

#include "app/helpwindow.h"
#include "app/kolpexapp.h"
#include "app/lockpanes.h"
#include "app/mainframe_parts.h"
#include "markets/gui/findworldwide.h"
#include "markets/liststate.h"
#include "markets/markettable.h"
#include "markets/recententry.h"
#include "platform/gui/docview.h"
#include "platform/gui/x11keyboard.h"
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
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSaveFile>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QWhatsThis>
#include <QWindow>
#include <cstring>

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
        // Stored elsewhere: the same split as reopening, so a company holding a slash shows whole.
        const std::string raw = ToCp1252(shown);
        shown = FromCp1252(raw.substr(RecentEntryTextStart(raw)));
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

// The window manager's close request for the frame. On X11 it counts as user input, so it waits
// out a download and then arrives while the download's failure message is open, where Qt drops
// it because that modal box blocks the frame. Taken here, it closes the frame once the fetch is
// over instead.
class CloseRequestFilter final : public QAbstractNativeEventFilter {
public:
    explicit CloseRequestFilter(CMainFrame& frame)
        : m_frame(frame)
    {
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t" || !CQuoteManager::FetchInProgress() || !message)
            return false;
        // An X ClientMessage event: type 33, format, sequence, window, message type, data.
        const auto* bytes = static_cast<const unsigned char*>(message);
        if ((bytes[0] & 0x7f) != 33 || bytes[1] != 32)
            return false;
        std::uint32_t words[3];
        std::memcpy(words, bytes + 4, sizeof words);
        if (words[0] != static_cast<std::uint32_t>(m_frame.internalWinId()))
            return false;
        if (!m_protocols)
            m_protocols = x11::ExistingAtom("WM_PROTOCOLS");
        if (!m_delete)
            m_delete = x11::ExistingAtom("WM_DELETE_WINDOW");
        if (!m_protocols || !m_delete || words[1] != *m_protocols || words[2] != *m_delete)
            return false;
        m_frame.closeAfterFetch();
        return true;
    }

private:
    CMainFrame& m_frame;
    std::optional<std::uint32_t> m_protocols;
    std::optional<std::uint32_t> m_delete;
};

} // namespace

CMainFrame::CMainFrame(CKolpexApp& app, Notifier& notifier)
    : m_fetchMessages(notifier)
    , m_pageReader(m_fetchMessages)
    , m_quoteManager(m_defaultEntry, m_pageReader, *this, m_fetchMessages)
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
    if (m_parts->closeRequests)
        qApp->removeNativeEventFilter(m_parts->closeRequests.get());
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
    m_parts->closeRequests = std::make_unique<CloseRequestFilter>(*this);
    qApp->installNativeEventFilter(m_parts->closeRequests.get());
    m_parts->lockPanes->start();

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

void CMainFrame::fetchFinished()
{
    // Whoever fetched still has work to do with the result; what waited goes after that.
    QTimer::singleShot(0, this, &CMainFrame::afterFetch);
}

void CMainFrame::afterFetch()
{
    if (CQuoteManager::FetchInProgress())
        return; // another fetch began meanwhile; its end comes back here
    if (m_parts->closePending) {
        m_parts->closePending = false;
        close();
        return;
    }
    Q_EMIT quoteFetchEnded();
}

void CMainFrame::closeAfterFetch()
{
    m_parts->closePending = true;
    if (!CQuoteManager::FetchInProgress())
        fetchFinished();
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

QString CMainFrame::wantedTitle() const
{
    const QString base = QString::fromLatin1(strings::kAppTitle);
    CView* view = m_mdiArea ? activeView() : nullptr;
    if (view && view->GetDocument())
        return base + QStringLiteral(" - ") + FromCp1252(view->GetDocument()->GetTitle());
    return base;
}

void CMainFrame::updateTitle()
{
    setWindowTitle(wantedTitle());
}

void CMainFrame::changeEvent(QEvent* event)
{
    // A maximised child writes its own title into ours and puts back, on restore, whatever it
    // found at the time; ours is always the active document's.
    if (event->type() == QEvent::WindowTitleChange && m_parts && !m_parts->settingTitle) {
        const QString wanted = wantedTitle();
        if (windowTitle() != wanted) {
            m_parts->settingTitle = true;
            setWindowTitle(wanted);
            m_parts->settingTitle = false;
        }
    }
    QMainWindow::changeEvent(event);
}

void CMainFrame::cascadeChildWindows()
{
    // Qt's own cascade shrinks every window to what fits the diagonal; here each keeps its own
    // size and only gives way where the area ends, starting a new diagonal when one runs out.
    const QRect area = m_mdiArea->viewport()->rect();
    QMdiSubWindow* active = m_mdiArea->activeSubWindow();
    const auto windows = m_mdiArea->subWindowList(QMdiArea::StackingOrder);
    int offset = 0;
    for (QMdiSubWindow* window : windows) {
        if (window->isMinimized() || window->isHidden())
            continue;
        if (window->isMaximized())
            window->showNormal();
        const int step = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window) + 4;
        // A window may give up a third of its size to stay on the diagonal, no more.
        const QSize own = window->size();
        const QSize least = (own * 2 / 3).expandedTo(window->minimumSizeHint());
        const auto room = [&area](int at) { return QSize(area.width() - at, area.height() - at); };
        if (offset > 0 && (room(offset).width() < least.width() || room(offset).height() < least.height()))
            offset = 0;
        const QSize size = own.boundedTo(room(offset)).expandedTo(window->minimumSizeHint());
        window->setGeometry(QRect(QPoint(offset, offset), size));
        window->raise();
        offset += step;
    }
    if (active)
        m_mdiArea->setActiveSubWindow(active);
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
    if (CQuoteManager::FetchInProgress()) {
        // The window that is fetching cannot go in the middle of it; the frame closes right after.
        closeAfterFetch();
        event->ignore();
        return;
    }
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

std::array<bool, 3> CMainFrame::lockPanes() const
{
    return m_parts->lockPanes->shown();
}
