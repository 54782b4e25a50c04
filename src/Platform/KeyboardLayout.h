#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// What the keys are called in the user's current keyboard layout.
class KeyboardLayout
{
public:
    virtual ~KeyboardLayout() = default;

    // The name of the physical key with the macOS key code `keyCode` as the current
    // layout labels it ("H", "Z" on a German keyboard for the key right of T, "Return",
    // "F5"); empty when the key is unknown.
    virtual QString keyName(std::uint16_t keyCode) = 0;

    // How the current layout types a character: the key (macOS key code) and the
    // modifier flags it takes (none, Shift, AltGr or both).
    struct Typing {
        std::uint16_t keyCode = 0;
        std::uint64_t flags = 0;
        bool operator==(const Typing&) const = default;
    };
    // Nothing when no key of the layout types `character` directly (a dead key's accent
    // alone, a character of another script).
    virtual std::optional<Typing> typingFor(char32_t character) = 0;
    // Whether the current layout can be read at all (typingFor() answers nothing otherwise).
    virtual bool canReadLayout() { return true; }
    // The lookups that follow (one text's) read the layout as it is now.
    virtual void readLayoutAgain() {}
};
