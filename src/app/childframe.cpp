#include "app/childframe.h"

#include "markets/liststate.h"

#include <QShowEvent>

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
    const QSize size = ChildFrameSizeFor(g_pendingListKind);
    if (size.isValid())
        resize(size);
    else
        m_defaultSizePending = true; // sized from the area once it stands in one
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
