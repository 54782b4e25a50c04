#pragma once

#include "Platform/KeyboardLayout.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>

struct _XDisplay;
struct _XkbDesc;

// Key names from the X server's current keymap (the keysym of a key's first level).
// The server is asked again at most once a second, so that a switched layout shows.
class X11KeyboardLayout : public KeyboardLayout
{
public:
    explicit X11KeyboardLayout(QByteArray displayName = {});
    ~X11KeyboardLayout() override;

    QString keyName(std::uint16_t keyCode) override;
    // From the keymap's current group: the key and level that give the character's
    // keysym, with the fewest modifiers (Shift and AltGr only), keys outside the keypad first.
    std::optional<Typing> typingFor(char32_t character) override;
    // Only with an X display (under Wayland: XWayland's, which follows the desktop's layout).
    bool canReadLayout() override { return connect(); }
    void readLayoutAgain() override;

    // The name for a keysym: its character in upper case where it types one, else the
    // keysym's name in the common spelling ("Backspace", "Page Up").
    static QString nameOfKeysym(unsigned long keysym);

private:
    bool connect();

    QByteArray m_displayName;
    _XDisplay* m_display = nullptr;
    QHash<std::uint16_t, QString> m_cache;
    QElapsedTimer m_cacheAge;
    // The keymap and group typingFor() reads: asked once per text (readLayoutAgain()),
    // and at least once a second.
    _XkbDesc* m_typingMap = nullptr;
    int m_typingGroup = 0;
    QElapsedTimer m_typingMapAge;
};
