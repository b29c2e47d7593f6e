#include "platform/gui/x11keyboard.h"

#include <QGuiApplication>
#include <dlfcn.h>

namespace x11 {

namespace {

// The few libX11 entry points used, by their documented C signatures; Display is opaque here.
struct Xlib {
    using InternAtom = unsigned long (*)(void* display, const char* name, int onlyIfExists);
    using GetNamedIndicator
        = int (*)(void* display, unsigned long name, int* index, int* state, void* map, int* real);
    InternAtom internAtom = nullptr;
    GetNamedIndicator getNamedIndicator = nullptr;
};

const Xlib* LoadXlib()
{
    static const Xlib lib = [] {
        Xlib l;
        // Already in the process whenever the xcb platform plugin is; this only finds it.
        void* handle = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
        if (!handle)
            return l;
        l.internAtom = reinterpret_cast<Xlib::InternAtom>(dlsym(handle, "XInternAtom"));
        l.getNamedIndicator
            = reinterpret_cast<Xlib::GetNamedIndicator>(dlsym(handle, "XkbGetNamedIndicator"));
        return l;
    }();
    return lib.internAtom && lib.getNamedIndicator ? &lib : nullptr;
}

void* OpenDisplay()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* native = app->nativeInterface<QNativeInterface::QX11Application>();
    return native ? static_cast<void*>(native->display()) : nullptr;
}

} // namespace

std::optional<std::uint32_t> ExistingAtom(const char* name)
{
    const Xlib* lib = LoadXlib();
    void* display = lib ? OpenDisplay() : nullptr;
    if (!display)
        return std::nullopt;
    const unsigned long atom = lib->internAtom(display, name, 1);
    if (atom == 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(atom);
}

std::optional<std::array<bool, 3>> LockIndicators()
{
    const Xlib* lib = LoadXlib();
    void* display = lib ? OpenDisplay() : nullptr;
    if (!display)
        return std::nullopt;
    std::array<bool, 3> locks {};
    bool any = false;
    const char* names[] = { "Caps Lock", "Num Lock", "Scroll Lock" };
    for (std::size_t i = 0; i < locks.size(); ++i) {
        const unsigned long atom = lib->internAtom(display, names[i], 1);
        int state = 0;
        if (atom != 0 && lib->getNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr)) {
            locks[i] = state != 0;
            any = true;
        }
    }
    if (!any)
        return std::nullopt; // a server without the keyboard extension tells nothing
    return locks;
}

LockModifiers LockModifiersFromState(std::uint32_t state)
{
    constexpr std::uint32_t kLockMask = 1u << 1;
    constexpr std::uint32_t kMod2Mask = 1u << 4;
    return { (state & kLockMask) != 0, (state & kMod2Mask) != 0 };
}

} // namespace x11
