#include "HotkeyWatch.h"

#include <linux/input-event-codes.h>

namespace {

std::uint8_t modifierOf(std::uint16_t code)
{
    using namespace InputdProtocol::HotkeyModifier;
    switch (code) {
    case KEY_LEFTSHIFT:
    case KEY_RIGHTSHIFT:
        return shift;
    case KEY_LEFTCTRL:
    case KEY_RIGHTCTRL:
        return control;
    case KEY_LEFTALT:
    case KEY_RIGHTALT: // AltGr on many layouts, but the helper cannot know the layout
        return alt;
    case KEY_LEFTMETA:
    case KEY_RIGHTMETA:
        return super;
    default:
        return 0;
    }
}

} // namespace

std::optional<std::uint8_t> HotkeyWatch::keyEvent(std::uint16_t device, std::uint16_t code, std::int32_t value)
{
    if (code >= BTN_MISC && code < KEY_OK)
        return std::nullopt; // a button, not a key
    if (modifierOf(code) != 0) {
        if (value == 0)
            m_held.erase({device, code});
        else
            m_held.insert({device, code});
        return std::nullopt;
    }
    if (value != 1)
        return std::nullopt;
    std::uint8_t modifiers = 0;
    for (const auto& [heldDevice, key] : m_held)
        modifiers |= modifierOf(key);
    return modifiers;
}

std::vector<std::uint32_t> HotkeyWatch::matches(const std::vector<InputdProtocol::WatchedChord>& chords,
                                                std::uint16_t code, std::uint8_t modifiers)
{
    std::vector<std::uint32_t> ids;
    for (const auto& chord : chords)
        if (chord.code == code && chord.modifiers == modifiers)
            ids.push_back(chord.id);
    return ids;
}
