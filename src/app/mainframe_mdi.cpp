// The main frame's child windows: which one is active, the title that names it, Cascade and
// Arrange Icons, and what the windows reach of the frame.
#include "app/appcommands.h"
#include "app/mainframe.h"
#include "app/mainframe_parts.h"
#include "platform/gui/docview.h"
#include "platform/textcodec.h"
#include "res/strings.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>

CDocTemplate* CMainFrame::listDocumentTemplate() const
{
    return m_app.listTemplate();
}

QMetaObject::Connection CMainFrame::onQuoteFetchEnded(QObject* context, std::function<void()> slot)
{
    return connect(this, &CMainFrame::quoteFetchEnded, context, std::move(slot));
}

CView* CMainFrame::activeView() const
{
    QMdiSubWindow* window = m_mdiArea ? m_mdiArea->currentSubWindow() : nullptr;
    return window ? qobject_cast<CView*>(window->widget()) : nullptr;
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
