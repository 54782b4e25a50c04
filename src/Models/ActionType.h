#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The kind of a macro action; its text value is the "type" discriminator in JSON.
// The order is fixed: it is also the order of the payloads in MacroAction.
enum class ActionType : std::uint8_t
{
    keyDown,
    keyUp,
    mouseMove,
    mouseDown,
    mouseUp,
    mouseDrag,
    scroll,
    windowFocus,
    delay,
    // A step made by hand that waits for the screen or a window (ScreenWait).
    wait,
    // A step of a kind this version does not know (from a newer Quillo), kept as read.
    unknown,
};

// The text values of the kinds this version knows ("unknown" has none of its own: such a
// step keeps the type it was read with).
inline constexpr std::array<std::string_view, 10> kActionTypeTexts = {
    "keyDown",   "keyUp",  "mouseMove",   "mouseDown", "mouseUp",
    "mouseDrag", "scroll", "windowFocus", "delay",     "wait",
};

constexpr std::string_view actionTypeText(ActionType type)
{
    return type == ActionType::unknown ? std::string_view("unknown") : kActionTypeTexts[static_cast<std::size_t>(type)];
}

// Exact, case-sensitive match of one of the ten text values (nothing for any other).
constexpr std::optional<ActionType> actionTypeFromText(std::string_view text)
{
    for (std::size_t i = 0; i < kActionTypeTexts.size(); ++i) {
        if (kActionTypeTexts[i] == text)
            return static_cast<ActionType>(i);
    }
    return std::nullopt;
}
