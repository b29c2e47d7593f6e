#include "app/lockindicators.h"

#include "platform/gui/x11keyboard.h"

#include <Qt>

int LockPaneOfKey(int key)
{
    switch (key) {
    case Qt::Key_CapsLock:
        return 0;
    case Qt::Key_NumLock:
        return 1;
    case Qt::Key_ScrollLock:
        return 2;
    default:
        return -1;
    }
}

LockStates LockStatesAfterKey(
    const LockStates& shown, const LockKeyEvent& event, const std::optional<LockStates>& serverLocks)
{
    LockStates locks = shown;
    const int pane = LockPaneOfKey(event.key);
    if (pane >= 0) {
        // The event's own state is from before the key, and X unlocks on the release, so only
        // the server knows the outcome; without it, count the presses.
        if (serverLocks)
            return *serverLocks;
        if (event.press && !event.autoRepeat)
            locks[static_cast<std::size_t>(pane)] = !locks[static_cast<std::size_t>(pane)];
        return locks;
    }
    if (event.x11State) {
        const x11::LockModifiers bits = x11::LockModifiersFromState(*event.x11State);
        locks[0] = bits.caps;
        locks[1] = bits.num;
    }
    return locks;
}

KnownLocks WaylandLocksAfterKey(const KnownLocks& shown, const LockKeyEvent& event)
{
    KnownLocks locks = shown;
    const int pane = LockPaneOfKey(event.key);
    if (pane >= 0 && (event.press || event.autoRepeat || !event.waylandMods)) {
        locks[static_cast<std::size_t>(pane)].reset();
        return locks;
    }
    if (event.waylandMods) {
        // xkbcommon numbers the eight core modifiers as X does: Shift, Lock, Control, Mod1 to Mod5.
        const x11::LockModifiers bits = x11::LockModifiersFromState(*event.waylandMods);
        locks[0] = bits.caps;
        locks[1] = bits.num;
    }
    return locks;
}
