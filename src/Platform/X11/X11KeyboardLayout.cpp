#include "Platform/X11/X11KeyboardLayout.h"

#include "Platform/Linux/KeyCodeMap.h"
#include "Platform/X11/X11Errors.h"

#include "Platform/RawInputEvent.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <tuple>

namespace {
constexpr qint64 kCacheMs = 1000;
} // namespace

X11KeyboardLayout::X11KeyboardLayout(QByteArray displayName) : m_displayName(std::move(displayName)) {}

X11KeyboardLayout::~X11KeyboardLayout()
{
    if (m_typingMap)
        XkbFreeKeyboard(m_typingMap, 0, True);
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
    if (!connect())
        return {};
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

bool X11KeyboardLayout::connect()
{
    if (!m_display) {
        X11Errors::install();
        m_display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    }
    return m_display != nullptr;
}

void X11KeyboardLayout::readLayoutAgain()
{
    m_typingMapAge.invalidate();
}

std::optional<KeyboardLayout::Typing> X11KeyboardLayout::typingFor(char32_t character)
{
    if (character == U'\n')
        return Typing{36, 0}; // Return
    if (character == U'\t')
        return Typing{48, 0};
    if (!connect())
        return std::nullopt;
    // The server's keymap and group, read again once they are a second old.
    if (!m_typingMap || !m_typingMapAge.isValid() || m_typingMapAge.elapsed() > 1000) {
        if (m_typingMap)
            XkbFreeKeyboard(m_typingMap, 0, True);
        m_typingMap = XkbGetMap(m_display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
        XkbStateRec current{};
        XkbGetState(m_display, XkbUseCoreKbd, &current);
        m_typingGroup = current.group;
        m_typingMapAge.start();
    }
    const XkbDescPtr xkb = m_typingMap;
    if (!xkb)
        return std::nullopt;
    // The best so far: (number of modifiers, on the keypad, keycode).
    std::optional<std::tuple<int, bool, int>> best;
    Typing found;
    for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode) {
        const int groups = XkbKeyNumGroups(xkb, keycode);
        if (groups == 0)
            continue;
        const int group = m_typingGroup < groups ? m_typingGroup : 0;
        const int levels = XkbKeyGroupWidth(xkb, keycode, group);
        const XkbKeyTypePtr type = XkbKeyKeyType(xkb, keycode, group);
        for (int level = 0; level < levels; ++level) {
            const KeySym sym = XkbKeySymEntry(xkb, keycode, level, group);
            if (sym == NoSymbol || xkb_keysym_to_utf32(xkb_keysym_t(sym)) != character)
                continue;
            // The modifiers that select this level: none for the first, else Shift
            // and/or AltGr (Mod5) as the key's type maps them.
            std::optional<unsigned> mods;
            if (level == 0)
                mods = 0;
            for (int e = 0; level > 0 && e < type->map_count; ++e) {
                const XkbKTMapEntryRec& entry = type->map[e];
                const unsigned mask = entry.mods.mask;
                if (entry.active && entry.level == level && (mask & ~(ShiftMask | Mod5Mask)) == 0 &&
                    (!mods || __builtin_popcount(mask) < __builtin_popcount(*mods)))
                    mods = mask;
            }
            if (!mods)
                continue;
            const int evdev = keycode - KeyCodeMap::xKeycodeOffset;
            const std::uint16_t mac = KeyCodeMap::macFromEvdev(evdev);
            if (mac >= KeyCodeMap::unmappedBase)
                continue;
            const bool keypad = (sym >= XK_KP_Space && sym <= XK_KP_9);
            const auto rank = std::make_tuple(__builtin_popcount(*mods), keypad, keycode);
            if (!best || rank < *best) {
                best = rank;
                found = Typing{mac, (*mods & ShiftMask ? ModifierFlags::shift : 0) |
                                        (*mods & Mod5Mask ? ModifierFlags::altGr : 0)};
            }
        }
    }
    if (!best)
        return std::nullopt;
    return found;
}
