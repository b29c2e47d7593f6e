#pragma once

#include <QMdiSubWindow>

// The child window around every view: its initial size, and a close asked for during a download,
// which waits for the download (and its message) to be over.
class CChildFrame final : public QMdiSubWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CChildFrame)
public:
    explicit CChildFrame(QWidget* parent = nullptr);

    // Carries out a close that was asked for while a download was under way; told when one ends.
    void closeIfAsked();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    bool m_defaultSizePending = false;
    bool m_closePending = false;
};

// Input that came during a download waits for the end of it, and then for a failure message the
// download raises; that message, being modal, would drop it, and with it a click on a child
// window's close box. So before such a message the clicks on the child windows' frames (close,
// move, minimise), the windows' own close requests and the close keys are delivered, and any
// other input is dropped as the message would have dropped it.
void DeliverWaitingWindowRequests();

// The initial size for a pending list kind; an invalid size leaves the choice to the MDI area.
QSize ChildFrameSizeFor(int pendingListKind);

// The size a child window gets when its kind names none: three quarters of the area it opens
// in, never smaller than a window one can work in, never larger than the area.
QSize DefaultChildFrameSize(const QSize& area);
