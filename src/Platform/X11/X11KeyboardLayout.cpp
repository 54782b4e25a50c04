#include "Platform/X11/X11KeyboardLayout.h"

#include "Platform/Linux/KeyCodeMap.h"
#include "Platform/X11/X11Errors.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {
constexpr qint64 kCacheMs = 1000;
} // namespace

X11KeyboardLayout::X11KeyboardLayout(QByteArray displayName) : m_displayName(std::move(displayName)) {}

X11KeyboardLayout::~X11KeyboardLayout()
{
    if (m_display)
        XCloseDisplay(m_display);
}

QString X11KeyboardLayout::nameOfKeysym(unsigned long keysym)
{
    // Latin-1 keysyms are their characters; Unicode keysyms carry theirs.
    char32_t ch = 0;
    if ((keysym > 0x20 && keysym < 0x7F) || (keysym > 0xA0 && keysym <= 0xFF))
        ch = char32_t(keysym);
    else if ((keysym & 0xFF000000UL) == 0x01000000UL)
        ch = char32_t(keysym & 0x00FFFFFFUL);
    if (ch)
        return QString::fromUcs4(&ch, 1).toUpper();
    switch (keysym) {
    case XK_space:
        return QStringLiteral("Space");
    case XK_BackSpace:
        return QStringLiteral("Backspace");
    case XK_Prior:
        return QStringLiteral("Page Up");
    case XK_Next:
        return QStringLiteral("Page Down");
    case XK_ISO_Left_Tab:
        return QStringLiteral("Tab");
    case XK_KP_Enter:
        return QStringLiteral("Keypad Enter");
    default:
        break;
    }
    const char* name = XKeysymToString(keysym);
    return name ? QString::fromLatin1(name).replace(QLatin1Char('_'), QLatin1Char(' ')) : QString();
}

QString X11KeyboardLayout::keyName(std::uint16_t keyCode)
{
    if (!m_cacheAge.isValid() || m_cacheAge.elapsed() > kCacheMs) {
        m_cache.clear();
        m_cacheAge.start();
    }
    if (const auto cached = m_cache.constFind(keyCode); cached != m_cache.constEnd())
        return *cached;
    const auto evdev = KeyCodeMap::evdevFromMac(keyCode);
    if (!evdev)
        return {};
    if (!m_display) {
        X11Errors::install();
        m_display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
        if (!m_display)
            return {};
    }
    // Asked of the server each time (not Xlib's copy, which only follows the server's
    // mapping events, and nobody reads those on this connection).
    int perCode = 0;
    KeySym* syms = XGetKeyboardMapping(m_display, KeyCode(*evdev + KeyCodeMap::xKeycodeOffset), 1, &perCode);
    QString name;
    if (syms && perCode > 0 && syms[0] != NoSymbol)
        name = nameOfKeysym(syms[0]);
    if (syms)
        XFree(syms);
    m_cache.insert(keyCode, name);
    return name;
}
