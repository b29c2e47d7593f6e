#pragma once

#include <QMdiSubWindow>

// The child window around every view; its one behaviour of its own is its initial size.
class CChildFrame final : public QMdiSubWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CChildFrame)
public:
    explicit CChildFrame(QWidget* parent = nullptr);
};

// The initial size for a pending list kind; an invalid size leaves the choice to the MDI area.
QSize ChildFrameSizeFor(int pendingListKind);
