#pragma once

#include <QMdiSubWindow>

// The child window around every view; its one behaviour of its own is its initial size.
class CChildFrame final : public QMdiSubWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CChildFrame)
public:
    explicit CChildFrame(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_defaultSizePending = false;
};

// The initial size for a pending list kind; an invalid size leaves the choice to the MDI area.
QSize ChildFrameSizeFor(int pendingListKind);

// The size a child window gets when its kind names none: three quarters of the area it opens
// in, never smaller than a window one can work in, never larger than the area.
QSize DefaultChildFrameSize(const QSize& area);
