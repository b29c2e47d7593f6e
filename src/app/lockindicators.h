#pragma once

#include <array>
#include <cstdint>
#include <optional>

// The CAPS, NUM and SCRL panes: what they show after a key event.
using LockStates = std::array<bool, 3>; // Caps Lock, Num Lock, Scroll Lock

struct LockKeyEvent {
    int key = 0; // Qt::Key
    bool press = true;
    bool autoRepeat = false;
    std::optional<std::uint32_t> x11State; // the X event's modifier mask, when the event came from X11
};

// serverLocks: the keyboard's indicators asked of the windowing system after a lock key, where it
// can tell them. Without it a lock key toggles its pane on the press, and an ordinary key's X11
// state corrects CAPS and NUM (a lock changed while another program had the keyboard).
LockStates LockStatesAfterKey(
    const LockStates& shown, const LockKeyEvent& event, const std::optional<LockStates>& serverLocks);

// The index of a lock key's pane, or -1.
int LockPaneOfKey(int key);
