#include "app/childframe.h"

#include "markets/liststate.h"
#include "quote/quotemanager.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QShowEvent>

namespace {

// Qt's own close shortcut of a child window is the desktop's Close key (Ctrl+W here); MDI programs
// have always had this one too.
constexpr QKeyCombination kMdiCloseKey = Qt::CTRL | Qt::Key_F4;

bool IsChildCloseKey(QKeyCombination key)
{
    return key == kMdiCloseKey || QKeySequence::keyBindings(QKeySequence::Close).contains(QKeySequence(key));
}

} // namespace

QSize ChildFrameSizeFor(int pendingListKind)
{
    if (pendingListKind == 0)
        return { 400, 620 }; // quote window
    if (pendingListKind == 2)
        return { 320, 200 }; // search results
    if (pendingListKind >= 3 && pendingListKind <= 9)
        return { 262, 550 }; // market list
    return {};
}

QSize DefaultChildFrameSize(const QSize& area)
{
    constexpr QSize kSmallest(320, 240);
    QSize size(area.width() * 3 / 4, area.height() * 3 / 4);
    size = size.expandedTo(kSmallest);
    if (area.isValid() && !area.isEmpty())
        size = size.boundedTo(area);
    return size;
}

CChildFrame::CChildFrame(QWidget* parent)
    : QMdiSubWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    if (!QKeySequence::keyBindings(QKeySequence::Close).contains(QKeySequence(kMdiCloseKey)))
        new QShortcut(
            QKeySequence(kMdiCloseKey), this, this, &QWidget::close, Qt::WidgetWithChildrenShortcut);
    const QSize size = ChildFrameSizeFor(g_pendingListKind);
    if (size.isValid())
        resize(size);
    else
        m_defaultSizePending = true; // sized from the area once it stands in one
}

bool CChildFrame::focusNextPrevChild(bool next)
{
    // Tab and Shift+Tab on the window itself go into its view, never on into the other windows,
    // where a screen reader would follow the focus in silence.
    QWidget* inner = widget();
    if (!inner || !(inner->focusPolicy() & Qt::TabFocus))
        return QMdiSubWindow::focusNextPrevChild(next);
    inner->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void CChildFrame::showEvent(QShowEvent* event)
{
    // A view without a size of its own would leave the MDI area's choice at a bare title bar.
    if (m_defaultSizePending && !event->spontaneous()) {
        m_defaultSizePending = false;
        if (QWidget* area = parentWidget())
            resize(DefaultChildFrameSize(area->size()));
    }
    QMdiSubWindow::showEvent(event);
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    if (CQuoteManager::FetchInProgress()) {
        // Possibly this window's own download: its view must not go in the middle of it.
        m_closePending = true;
        event->ignore();
        return;
    }
    m_closePending = false;
    QMdiSubWindow::closeEvent(event);
}

void CChildFrame::closeIfAsked()
{
    if (m_closePending && !CQuoteManager::FetchInProgress())
        close();
}

namespace {

QMdiSubWindow* ActiveChild()
{
    for (QWidget* widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
        if (auto* child = qobject_cast<QMdiSubWindow*>(widget))
            return child;
    }
    return nullptr;
}

class WindowRequestsOnly final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            // Each reaches the window first and the widget under the pointer after it.
            return watched->isWidgetType() && !qobject_cast<QMdiSubWindow*>(watched);
        case QEvent::ShortcutOverride: // every key asks this first, before a shortcut or a press
            if (auto* child = ActiveChild();
                child && IsChildCloseKey(static_cast<QKeyEvent*>(event)->keyCombination()))
                child->close();
            return true;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
            return true;
        default:
            return false;
        }
    }
};

} // namespace

void DeliverWaitingWindowRequests()
{
    WindowRequestsOnly filter;
    qApp->installEventFilter(&filter);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&filter);
}
