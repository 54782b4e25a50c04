#pragma once

#include <cstdint>
#include <optional>

// Physical keys between the neutral numbering of macro files (macOS virtual key codes)
// and Linux evdev codes (X keycode = evdev code + 8). Keys without a macOS code use
// 0xE000 + evdev code, both ways, so no key is lost.
namespace KeyCodeMap {

inline constexpr std::uint16_t unmappedBase = 0xE000;
inline constexpr int xKeycodeOffset = 8;

std::uint16_t macFromEvdev(int evdev);
// Nothing for a code that names no key.
std::optional<int> evdevFromMac(std::uint16_t mac);

// Shift, Control, Alt, Super, Caps Lock and ISO level 3 (by evdev code).
bool isModifierKey(int evdev);
// The flag bit a modifier key sets (caps lock, shift, control, option, command), or 0.
std::uint64_t modifierFlag(int evdev);

} // namespace KeyCodeMap
