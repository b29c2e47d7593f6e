#pragma once

#include "app/lockindicators.h"

#include <QObject>
#include <array>

class QLabel;
class QStatusBar;

// The CAPS, NUM and SCRL panes at the right of the status bar, kept to the keyboard's lock
// state as far as the windowing system tells it: on X11 by the server's indicators and each
// key's state, on Wayland by each key's modifier mask (blank until a key has told), elsewhere by
// counting the lock keys' presses.
class LockPanes final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LockPanes)
public:
    explicit LockPanes(QStatusBar& bar);
    ~LockPanes() override;

    // Watches the keys from now on and shows what is known at start.
    void start();

    LockStates shown() const; // an unknown lock as off
    const KnownLocks& known() const { return m_locks; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(const KnownLocks& locks);

    std::array<QLabel*, 3> m_panes {};
    KnownLocks m_locks;
    bool m_wayland = false;
};
