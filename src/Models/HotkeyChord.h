#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <optional>

// The key combination of a global hotkey: a physical key (its macOS key code, as in macro
// files, so a chord means the same key on every layout) and modifiers in the hot-key mask.
struct HotkeyChord {
    static constexpr quint32 command = 0x100; // Super
    static constexpr quint32 shift = 0x200;
    static constexpr quint32 option = 0x800; // Alt
    static constexpr quint32 control = 0x1000;
    // AltGr (ISO level 3): only ever held along with a chord, by a macro being replayed.
    static constexpr quint32 altGr = 0x4000;

    quint32 keyCode = 0;
    quint32 modifiers = 0;

    bool operator==(const HotkeyChord&) const = default;

    // Holds Ctrl, Alt or Super: a chord of a plain key (or with Shift only) would take
    // that key away from typing everywhere.
    bool hasModifier() const { return modifiers & (command | option | control); }
    // The event flags held with the chord (as key events of a recording carry them).
    std::uint64_t eventFlags() const;
    // "Alt+Super+R", with the keys' names on a US keyboard: the same on every layout, so
    // this is how chords are stored and logged. Empty for a key that has no name here.
    QString portableText() const;
    // A chord written by portableText (case does not matter); nothing for anything else.
    static std::optional<HotkeyChord> fromPortableText(const QString& text);
    // The US name of a key ("R", "F5", "Page Up"); empty for a key a chord cannot use.
    static QString keyName(quint32 keyCode);
};
