#include "Platform/X11/X11HotkeyRegistrar.h"

#include "Platform/Linux/KeyCodeMap.h"
#include "Platform/X11/X11Errors.h"

#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {
// The lock states a grab is repeated for: none, Caps Lock, Num Lock (Mod2), both.
constexpr unsigned kLockVariants[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
constexpr unsigned kIgnoredLocks = LockMask | Mod2Mask;
// The modifiers a lenient grab also accepts (AltGr is Mod5).
constexpr unsigned kOtherModifiers[] = {ShiftMask, ControlMask, Mod1Mask, Mod4Mask, Mod5Mask};
} // namespace

X11HotkeyRegistrar::X11HotkeyRegistrar(QByteArray displayName, QObject* parent)
    : HotkeyRegistrar(parent)
{
    X11Errors::install();
    m_display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!m_display)
        return;
    Bool supported = False;
    XkbSetDetectableAutoRepeat(m_display, True, &supported);
    m_notifier = new QSocketNotifier(ConnectionNumber(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11HotkeyRegistrar::readEvents);
}

X11HotkeyRegistrar::~X11HotkeyRegistrar()
{
    delete m_notifier;
    if (m_display)
        XCloseDisplay(m_display);
}

unsigned X11HotkeyRegistrar::xModifiers(quint32 modifiers)
{
    unsigned mask = 0;
    if (modifiers & 0x100)
        mask |= Mod4Mask; // command = Super
    if (modifiers & 0x200)
        mask |= ShiftMask;
    if (modifiers & 0x800)
        mask |= Mod1Mask; // option = Alt
    if (modifiers & 0x1000)
        mask |= ControlMask;
    return mask;
}

void X11HotkeyRegistrar::ungrabVariant(int keycode, unsigned modifiers)
{
    for (const unsigned locks : kLockVariants)
        XUngrabKey(m_display, keycode, modifiers | locks, DefaultRootWindow(m_display));
}

void X11HotkeyRegistrar::ungrab(const Grab& grab)
{
    for (const unsigned modifiers : grab.variants)
        ungrabVariant(grab.keycode, modifiers);
    XFlush(m_display);
}

int X11HotkeyRegistrar::grabVariant(int keycode, unsigned modifiers)
{
    X11Errors::Scope scope(m_display);
    for (const unsigned locks : kLockVariants)
        XGrabKey(m_display, keycode, modifiers | locks, DefaultRootWindow(m_display), False, GrabModeAsync,
                 GrabModeAsync);
    const int error = scope.sync();
    if (error != 0)
        ungrabVariant(keycode, modifiers); // the lock states that did succeed are not left behind
    return error;
}

HotkeyRegistrar::Registration X11HotkeyRegistrar::registerHotkey(quint32 keyCode, quint32 modifiers,
                                                                 quint32 id)
{
    if (!m_display)
        return {-1, 0};
    const auto evdev = KeyCodeMap::evdevFromMac(quint16(keyCode));
    if (!evdev)
        return {-2, 0};
    Grab grab{*evdev + KeyCodeMap::xKeycodeOffset, xModifiers(modifiers), id,
              bool(modifiers & whateverElseHeld), {}};
    if (const int error = grabVariant(grab.keycode, grab.modifiers); error != 0)
        return {error, 0};
    grab.variants.push_back(grab.modifiers);
    if (grab.lenient) {
        // Every combination of the other modifiers, each grabbed on its own: one that
        // another program holds is left to it.
        std::vector<unsigned> others;
        for (const unsigned m : kOtherModifiers)
            if (!(grab.modifiers & m))
                others.push_back(m);
        for (unsigned subset = 1; subset < (1u << others.size()); ++subset) {
            unsigned extra = 0;
            for (std::size_t i = 0; i < others.size(); ++i)
                if (subset & (1u << i))
                    extra |= others[i];
            if (grabVariant(grab.keycode, grab.modifiers | extra) == 0)
                grab.variants.push_back(grab.modifiers | extra);
        }
    }
    m_grabs.insert(++m_lastHandle, grab);
    return {0, m_lastHandle};
}

void X11HotkeyRegistrar::unregisterHotkey(quint64 handle)
{
    const auto it = m_grabs.find(handle);
    if (it == m_grabs.end())
        return;
    ungrab(*it);
    m_grabs.erase(it);
}

void X11HotkeyRegistrar::readEvents()
{
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == KeyRelease) {
            m_keysDown.remove(int(event.xkey.keycode));
            continue;
        }
        if (event.type != KeyPress)
            continue;
        const int keycode = int(event.xkey.keycode);
        if (m_keysDown.contains(keycode))
            continue; // auto-repeat of a held hotkey
        m_keysDown.insert(keycode);
        const unsigned state = event.xkey.state & ~kIgnoredLocks & 0xFF;
        for (const Grab& grab : std::as_const(m_grabs)) {
            const bool matches =
                grab.lenient ? (state & grab.modifiers) == grab.modifiers : state == grab.modifiers;
            if (grab.keycode == keycode && matches)
                Q_EMIT hotkeyPressed(grab.id);
        }
    }
}
