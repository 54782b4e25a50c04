#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>

enum class MouseButton : std::uint8_t
{
    left,
    right,
    middle
};

// The text value of a button, as written in macro files ("left", "right", "middle").
constexpr std::string_view mouseButtonText(MouseButton button)
{
    switch (button) {
    case MouseButton::left:
        return "left";
    case MouseButton::right:
        return "right";
    case MouseButton::middle:
        return "middle";
    }
    return "left";
}

// Exact, case-sensitive match of a text value; nothing for anything else.
constexpr std::optional<MouseButton> mouseButtonFromText(std::string_view text)
{
    if (text == "left")
        return MouseButton::left;
    if (text == "right")
        return MouseButton::right;
    if (text == "middle")
        return MouseButton::middle;
    return std::nullopt;
}
