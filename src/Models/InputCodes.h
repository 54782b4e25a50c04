#pragma once

#include <cstdint>

// Event types in the neutral (CoreGraphics) numbering that macro files use.
enum class RawEventType : std::uint8_t {
    none = 0,
    leftMouseDown = 1,
    leftMouseUp = 2,
    rightMouseDown = 3,
    rightMouseUp = 4,
    mouseMoved = 5,
    leftMouseDragged = 6,
    rightMouseDragged = 7,
    keyDown = 10,
    keyUp = 11,
    flagsChanged = 12,
    scrollWheel = 22,
    otherMouseDown = 25,
    otherMouseUp = 26,
    otherMouseDragged = 27,
};

// Modifier flag bits (CGEventFlags).
namespace ModifierFlags {
inline constexpr std::uint64_t capsLock = 0x10000;
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
inline constexpr std::uint64_t all = capsLock | shift | control | option | command;
// The device-dependent bit that marks the right option key. Together with option it
// stands for AltGr (ISO level 3 shift), which types @, €, { and the like on most
// European layouts.
inline constexpr std::uint64_t rightOption = 0x40;
inline constexpr std::uint64_t altGr = option | rightOption;
} // namespace ModifierFlags
