#pragma once

#include <array>
#include <cstdint>
#include <optional>

// The CAPS, NUM and SCRL panes: what they show after a key event.
using LockStates = std::array<bool, 3>; // Caps Lock, Num Lock, Scroll Lock
// The same where a lock may not be known yet; an unknown one is shown blank.
using KnownLocks = std::array<std::optional<bool>, 3>;

struct LockKeyEvent {
    int key = 0; // Qt::Key
    bool press = true;
    bool autoRepeat = false;
    std::optional<std::uint32_t> x11State; // the X event's modifier mask, when the event came from X11
    // The xkb modifier mask Qt's Wayland plugin gives every key event: the depressed, latched and
    // locked modifiers as the compositor last sent them, before this key's own change.
    std::optional<std::uint32_t> waylandMods;
};

// serverLocks: the keyboard's indicators asked of the windowing system after a lock key, where it
// can tell them. Without it a lock key toggles its pane on the press, and an ordinary key's X11
// state corrects CAPS and NUM (a lock changed while another program had the keyboard).
LockStates LockStatesAfterKey(
    const LockStates& shown, const LockKeyEvent& event, const std::optional<LockStates>& serverLocks);

// The index of a lock key's pane, or -1.
int LockPaneOfKey(int key);

// Wayland: an ordinary key's mask tells Caps Lock (Lock) and Num Lock (Mod2); Scroll Lock is no
// modifier there and stays unknown. A lock key's press comes before its change and makes its pane
// unknown; its release already carries the new state, which it shows. Nothing is toggled.
KnownLocks WaylandLocksAfterKey(const KnownLocks& shown, const LockKeyEvent& event);
