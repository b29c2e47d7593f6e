// The main frame's close sequence: a close asked for during a download waits for it (the window
// manager's request included), then the child windows close one at a time while the frame stands.
#include "app/childframe.h"
#include "app/mainframe.h"
#include "app/mainframe_parts.h"
#include "platform/gui/x11keyboard.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <cstring>

namespace {

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

std::unique_ptr<QAbstractNativeEventFilter> MakeCloseRequestFilter(CMainFrame& frame)
{
    return std::make_unique<CloseRequestFilter>(frame);
}

void FetchMessageWatch::showMessageWithDetails(const std::string& text, const std::string& details)
{
    ++m_open;
    DeliverWaitingWindowRequests(); // a close asked for during the download is not lost to the box
    m_inner.showMessageWithDetails(text, details);
    --m_open;
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
