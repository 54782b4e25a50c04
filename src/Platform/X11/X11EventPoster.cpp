#include "Platform/X11/X11EventPoster.h"

#include "Platform/Linux/KeyCodeMap.h"
#include "Platform/X11/X11Errors.h"
#include "Platform/X11/X11EventTranslator.h"

#include <algorithm>
#include <cmath>

#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

// The modifier keys the poster uses (X keycodes of the evdev keymap) and their masks.
struct ModifierKey {
    std::uint64_t flag;
    unsigned mask;
    unsigned keycode;
};
constexpr ModifierKey kModifierKeys[] = {
    {ModifierFlags::shift, ShiftMask, 42 + 8},   {ModifierFlags::control, ControlMask, 29 + 8},
    {ModifierFlags::option, Mod1Mask, 56 + 8},   {ModifierFlags::command, Mod4Mask, 125 + 8},
};
constexpr unsigned kCapsLockKeycode = 58 + 8;
// Where X keymaps put ISO_Level3_Shift when the modifier map names no key for Mod5.
constexpr unsigned kLevelThreeFallbackKeycode = 92;

unsigned xButton(int button)
{
    switch (button) {
    case 0:
        return 1;
    case 1:
        return 3;
    default:
        return 2;
    }
}

} // namespace

X11EventPoster::X11EventPoster(QByteArray displayName) : m_guardian(displayName)
{
    X11Errors::install();
    m_display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    int event = 0, error = 0, major = 0, minor = 0;
    if (m_display && !XTestQueryExtension(m_display, &event, &error, &major, &minor)) {
        XCloseDisplay(m_display);
        m_display = nullptr;
    }
}

X11EventPoster::~X11EventPoster()
{
    if (!m_display)
        return;
    releaseModifiers();
    XCloseDisplay(m_display);
}

void X11EventPoster::key(unsigned keycode, bool press)
{
    XTestFakeKeyEvent(m_display, keycode, press, CurrentTime);
    m_guardian.key(keycode, press);
}

void X11EventPoster::readModifierState()
{
    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask = 0;
    XQueryPointer(m_display, DefaultRootWindow(m_display), &root, &child, &rx, &ry, &wx, &wy, &mask);
    m_modifierState = mask & (ShiftMask | LockMask | ControlMask | Mod1Mask | Mod4Mask | Mod5Mask);
    if (!m_altGrKeycode)
        m_altGrKeycode = levelThreeKeycode();
    m_stateKnown = true;
}

unsigned X11EventPoster::levelThreeKeycode() const
{
    // The key that sets Mod5 in the current keymap: ISO_Level3_Shift where the map
    // names it (AltGr on most layouts), else whatever key Mod5 lists first.
    XModifierKeymap* map = XGetModifierMapping(m_display);
    if (!map)
        return 0;
    unsigned found = 0;
    for (int i = 0; i < map->max_keypermod; ++i) {
        const KeyCode code = map->modifiermap[Mod5MapIndex * map->max_keypermod + i];
        if (!code)
            continue;
        if (!found)
            found = code;
        int perCode = 0;
        KeySym* syms = XGetKeyboardMapping(m_display, code, 1, &perCode);
        const bool levelThree = syms && perCode > 0 && syms[0] == XK_ISO_Level3_Shift;
        if (syms)
            XFree(syms);
        if (levelThree) {
            found = code;
            break;
        }
    }
    XFreeModifiermap(map);
    return found;
}

void X11EventPoster::prepare()
{
    if (!m_display)
        return;
    m_altGrKeycode = levelThreeKeycode(); // the keymap may have changed since the last playback
    readModifierState();
    // Whatever happens to this process, what the playback holds down gets let go.
    m_guardian.start();
}

void X11EventPoster::setModifier(unsigned keycode, unsigned mask, bool down)
{
    key(keycode, down);
    if (down) {
        m_modifierState |= mask;
        m_pressedModifiers.push_back({keycode, mask});
    } else {
        // Also lets go of a modifier the user still holds (the hotkey that started the
        // playback): the recorded keys did not have it.
        m_modifierState &= ~mask;
        std::erase_if(m_pressedModifiers, [&](const PressedModifier& p) { return p.keycode == keycode; });
    }
}

void X11EventPoster::matchModifiers(std::uint64_t flags, bool includingCapsLock)
{
    if (!m_stateKnown)
        readModifierState();
    const unsigned wanted = X11EventTranslator::stateFromFlags(flags);
    for (const ModifierKey& m : kModifierKeys) {
        const bool want = wanted & m.mask;
        if (want != bool(m_modifierState & m.mask))
            setModifier(m.keycode, m.mask, want);
    }
    const bool wantAltGr = wanted & Mod5Mask;
    if (wantAltGr != bool(m_modifierState & Mod5Mask)) {
        // Without a level-three key in the keymap AltGr cannot be pressed; letting go
        // of one falls back to where keymaps usually put it.
        if (wantAltGr && m_altGrKeycode)
            setModifier(m_altGrKeycode, Mod5Mask, true);
        else if (!wantAltGr)
            setModifier(m_altGrKeycode ? m_altGrKeycode : kLevelThreeFallbackKeycode, Mod5Mask, false);
    }
    const bool wantCaps = flags & ModifierFlags::capsLock;
    if (includingCapsLock && wantCaps != bool(m_modifierState & LockMask)) {
        key(kCapsLockKeycode, true);
        key(kCapsLockKeycode, false);
        m_modifierState ^= LockMask;
        ++m_capsLockToggles;
    }
}

void X11EventPoster::letGoOfModifiers()
{
    // Modifiers pressed for a key action belong to it alone: a click, drag or scroll
    // after it runs with the user's own modifiers.
    for (auto it = m_pressedModifiers.rbegin(); it != m_pressedModifiers.rend(); ++it) {
        key(it->keycode, false);
        m_modifierState &= ~it->mask;
    }
    m_pressedModifiers.clear();
}

void X11EventPoster::moveTo(double x, double y)
{
    XTestFakeMotionEvent(m_display, -1, int(std::lround(x)), int(std::lround(y)), CurrentTime);
}

void X11EventPoster::clickWheel(unsigned button, std::int32_t delta)
{
    // In 64 bits: the magnitude of INT32_MIN does not fit an int.
    const std::int64_t clicks = std::min<std::int64_t>(std::abs(std::int64_t(delta)), maxWheelClicks);
    for (std::int64_t i = 0; i < clicks; ++i) {
        XTestFakeButtonEvent(m_display, button, True, CurrentTime);
        XTestFakeButtonEvent(m_display, button, False, CurrentTime);
    }
}

bool X11EventPoster::post(const SyntheticEvent& event)
{
    if (!m_display || !std::isfinite(event.x) || !std::isfinite(event.y))
        return false;
    using T = RawEventType;
    if (event.type != T::keyDown && event.type != T::keyUp) {
        // A click, drag or wheel turn recorded with modifiers gets exactly those (kept
        // down through a drag); one without runs with the user's own.
        if (event.flags & ModifierFlags::all)
            matchModifiers(event.flags, false);
        else
            letGoOfModifiers();
    }
    switch (event.type) {
    case T::keyDown:
    case T::keyUp: {
        const auto evdev = KeyCodeMap::evdevFromMac(event.keyCode);
        if (!evdev || *evdev + KeyCodeMap::xKeycodeOffset > 255)
            return false;
        matchModifiers(event.flags);
        key(unsigned(*evdev + KeyCodeMap::xKeycodeOffset), event.type == T::keyDown);
        break;
    }
    case T::mouseMoved:
    case T::leftMouseDragged:
    case T::rightMouseDragged:
    case T::otherMouseDragged:
        moveTo(event.x, event.y);
        break;
    case T::leftMouseDown:
    case T::rightMouseDown:
    case T::otherMouseDown:
    case T::leftMouseUp:
    case T::rightMouseUp:
    case T::otherMouseUp: {
        const bool press = event.type == T::leftMouseDown || event.type == T::rightMouseDown ||
                           event.type == T::otherMouseDown;
        moveTo(event.x, event.y);
        XTestFakeButtonEvent(m_display, xButton(event.button), press, CurrentTime);
        m_guardian.button(xButton(event.button), press);
        break;
    }
    case T::scrollWheel:
        moveTo(event.x, event.y);
        clickWheel(event.wheel1 > 0 ? 4 : 5, event.wheel1);
        clickWheel(event.wheel2 > 0 ? 6 : 7, event.wheel2);
        break;
    default:
        return false;
    }
    XFlush(m_display);
    return true;
}

void X11EventPoster::releaseModifiers()
{
    if (!m_display)
        return;
    for (const PressedModifier& pressed : m_pressedModifiers)
        key(pressed.keycode, false);
    m_pressedModifiers.clear();
    if (m_capsLockToggles % 2 != 0) {
        key(kCapsLockKeycode, true);
        key(kCapsLockKeycode, false);
    }
    m_capsLockToggles = 0;
    m_stateKnown = false;
    XFlush(m_display);
    m_guardian.done(); // the playback ended properly
}

std::optional<QString> X11EventPoster::frontmostApplicationId()
{
    if (!m_display)
        return std::nullopt;
    X11Errors::Scope scope(m_display);
    const Window root = DefaultRootWindow(m_display);
    const Atom active = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", True);
    if (active == None)
        return std::nullopt; // no window manager says what is in front
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window window = None;
    if (XGetWindowProperty(m_display, root, active, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
            Success &&
        data && count == 1 && format == 32)
        window = *reinterpret_cast<Window*>(data);
    if (data)
        XFree(data);
    if (window == None)
        return QString(); // nothing in front
    XClassHint hint{};
    QString id;
    if (XGetClassHint(m_display, window, &hint)) {
        if (hint.res_class)
            id = QString::fromLocal8Bit(hint.res_class);
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return id;
}

bool X11EventPoster::activateApplication(const QString& id)
{
    if (!m_display || id.isEmpty())
        return false;
    X11Errors::Scope scope(m_display);
    const Window root = DefaultRootWindow(m_display);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    // Bottom to top: the last match is the application's most recent window.
    XGetWindowProperty(m_display, root, XInternAtom(m_display, "_NET_CLIENT_LIST_STACKING", False), 0,
                       65536, False, XA_WINDOW, &type, &format, &count, &remaining, &data);
    Window target = 0;
    const QByteArray wanted = id.toLocal8Bit();
    for (unsigned long i = 0; data && format == 32 && i < count; ++i) {
        const Window w = reinterpret_cast<Window*>(data)[i];
        XClassHint hint{nullptr, nullptr};
        if (XGetClassHint(m_display, w, &hint)) {
            if (hint.res_class && wanted == hint.res_class)
                target = w;
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
    }
    if (data)
        XFree(data);
    if (!target)
        return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = target;
    e.xclient.message_type = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2; // source indication: a pager, which window managers obey
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(m_display);
    return true;
}
