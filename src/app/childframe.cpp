#include "app/childframe.h"

#include "markets/liststate.h"

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

CChildFrame::CChildFrame(QWidget* parent)
    : QMdiSubWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    const QSize size = ChildFrameSizeFor(g_pendingListKind);
    if (size.isValid())
        resize(size);
}
