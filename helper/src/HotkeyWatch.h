#pragma once

#include "InputdProtocol.h"

#include <cstdint>
#include <optional>
#include <set>
#include <utility>
#include <vector>

// Follows which modifier keys are down on the keyboards the helper reads, so that a key
// press can be told apart as a watched chord. It keeps nothing of the typing but the
// modifiers held; only the ids of completed chords ever leave the helper.
class HotkeyWatch
{
public:
    // One key event of a keyboard (evdev code; value 1 press, 0 release, 2 repeat). For a
    // first press of a key that is not a modifier: the modifiers held with it.
    std::optional<std::uint8_t> keyEvent(std::uint16_t device, std::uint16_t code, std::int32_t value);
    // The ids of the chords among `chords` that `code` pressed with `modifiers` completes.
    static std::vector<std::uint32_t> matches(const std::vector<InputdProtocol::WatchedChord>& chords,
                                              std::uint16_t code, std::uint8_t modifiers);
    // Nothing is being read any more: what was held is forgotten.
    void reset() { m_held.clear(); }

private:
    std::set<std::pair<std::uint16_t, std::uint16_t>> m_held; // (device, modifier key) down
};
