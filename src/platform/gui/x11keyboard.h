#pragma once

#include <array>
#include <cstdint>
#include <optional>

// What only the X server can tell. libX11 is loaded when first needed, so the program neither
// builds against it nor needs it under another windowing system; every call answers nothing
// when the program does not run on X11.
namespace x11 {

enum LockIndex { kCapsLock = 0, kNumLock = 1, kScrollLock = 2 };

// The keyboard's Caps Lock, Num Lock and Scroll Lock indicators as the server holds them; a lock
// the keyboard map has no indicator for reads as off.
std::optional<std::array<bool, 3>> LockIndicators();

// The server's atom for a name it already knows; nothing when it knows no such name.
std::optional<std::uint32_t> ExistingAtom(const char* name);

// The lock bits of an X key event's state (its modifier mask before the key): Lock is Caps Lock,
// Mod2 is Num Lock on every keyboard map in common use. Scroll Lock has no modifier bit.
struct LockModifiers {
    bool caps = false;
    bool num = false;
};
LockModifiers LockModifiersFromState(std::uint32_t state);

} // namespace x11
