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

QString reasonFor(int error, const QString& chord)
{
    if (error == BadAccess)
        return QStringLiteral("another program already uses %1").arg(chord);
    return QStringLiteral("the X server refused %1 (error %2)").arg(chord).arg(error);
}
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
    if (modifiers & HotkeyChord::command)
        mask |= Mod4Mask; // Super
    if (modifiers & HotkeyChord::shift)
        mask |= ShiftMask;
    if (modifiers & HotkeyChord::option)
        mask |= Mod1Mask; // Alt
    if (modifiers & HotkeyChord::control)
        mask |= ControlMask;
    if (modifiers & HotkeyChord::altGr)
        mask |= Mod5Mask;
    return mask;
}

int X11HotkeyRegistrar::grab(const Key& key)
{
    if (int& users = m_users[key]; users > 0) {
        ++users;
        return 0;
    }
    X11Errors::Scope scope(m_display);
    for (const unsigned locks : kLockVariants)
        XGrabKey(m_display, key.first, key.second | locks, DefaultRootWindow(m_display), False, GrabModeAsync,
                 GrabModeAsync);
    const int error = scope.sync();
    if (error != 0) {
        // The lock states that did succeed are not left behind.
        for (const unsigned locks : kLockVariants)
            XUngrabKey(m_display, key.first, key.second | locks, DefaultRootWindow(m_display));
        XFlush(m_display);
        m_users.remove(key);
        return error;
    }
    m_users[key] = 1;
    return 0;
}

void X11HotkeyRegistrar::release(const Key& key)
{
    const auto it = m_users.find(key);
    if (it == m_users.end() || --*it > 0)
        return;
    m_users.erase(it);
    for (const unsigned locks : kLockVariants)
        XUngrabKey(m_display, key.first, key.second | locks, DefaultRootWindow(m_display));
    XFlush(m_display);
}

HotkeyRegistrar::Registration X11HotkeyRegistrar::registerHotkey(quint32 id, const std::vector<HotkeyChord>& chords)
{
    if (!m_display)
        return {-1, QStringLiteral("there is no X display to grab keys on")};
    if (chords.empty())
        return {-2, QStringLiteral("no chord")};
    unregisterHotkey(id);
    std::vector<Key> held;
    for (std::size_t i = 0; i < chords.size(); ++i) {
        const auto evdev = KeyCodeMap::evdevFromMac(quint16(chords[i].keyCode));
        if (!evdev) {
            if (i == 0)
                return {-2, QStringLiteral("this key has no X keycode")};
            continue;
        }
        const Key key{*evdev + KeyCodeMap::xKeycodeOffset, xModifiers(chords[i].modifiers)};
        if (const int error = grab(key); error != 0) {
            if (i == 0)
                return {error, reasonFor(error, chords[0].portableText())};
            continue; // an alternative another program holds is left to it
        }
        held.push_back(key);
    }
    m_ids.insert(id, held);
    return {};
}

void X11HotkeyRegistrar::unregisterHotkey(quint32 id)
{
    const auto it = m_ids.find(id);
    if (it == m_ids.end())
        return;
    for (const Key& key : *it)
        release(key);
    m_ids.erase(it);
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
        const Key pressed{keycode, event.xkey.state & ~kIgnoredLocks & 0xFF};
        for (auto it = m_ids.constBegin(); it != m_ids.constEnd(); ++it)
            if (std::find(it->begin(), it->end(), pressed) != it->end())
                Q_EMIT hotkeyPressed(it.key());
    }
}
