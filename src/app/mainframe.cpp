// The main frame: construction, loading, the message pane and the lock panes. Command routing is
// in mainframe_commands.cpp, the arrangement of the child windows in mainframe_mdi.cpp, the close
// sequence in mainframe_close.cpp, menus, toolbar and status bar in mainframe_ui.cpp.
#include "app/mainframe.h"

#include "app/appcommands.h"
#include "app/lockpanes.h"
#include "app/mainframe_parts.h"
#include "markets/liststate.h"
#include "platform/gui/docview.h"
#include "platform/gui/x11keyboard.h"
#include "platform/textcodec.h"
#include "res/strings.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

namespace {

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

CMainFrame::CMainFrame(ApplicationCommands& app, Notifier& notifier)
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
    m_parts->closeRequests = MakeCloseRequestFilter(*this);
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
    return m_app.quoteTemplate() && m_app.quoteTemplate()->OpenDocumentFile(nullptr) != nullptr;
}

void CMainFrame::addRecentEntry(const std::string& text)
{
    m_app.AddToRecentFileList(text);
}

void CMainFrame::SetMessageText(const std::string& text)
{
    m_messagePane->setText(FromCp1252(text));
    // The pane is named "Message" for assistive technology, which then hears the text as its
    // description.
    m_messagePane->setAccessibleDescription(m_messagePane->text());
    m_messagePane->repaint();
}

std::string CMainFrame::messageText() const
{
    return ToCp1252(m_messagePane->text());
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_parts->centred && !event->spontaneous()) {
        m_parts->centred = true;
        centreOnScreen(*this); // now the decorations are known
    }
}

std::array<bool, 3> CMainFrame::lockPanes() const
{
    return m_parts->lockPanes->shown();
}
