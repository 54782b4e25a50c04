#pragma once

#include <QString>
#include <cstdint>

// What the keys are called in the user's current keyboard layout.
class KeyboardLayout
{
public:
    virtual ~KeyboardLayout() = default;

    // The name of the physical key with the macOS key code `keyCode` as the current
    // layout labels it ("H", "Z" on a German keyboard for the key right of T, "Return",
    // "F5"); empty when the key is unknown.
    virtual QString keyName(std::uint16_t keyCode) = 0;
};
