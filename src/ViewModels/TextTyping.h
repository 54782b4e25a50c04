#pragma once

#include "Models/Expected.h"
#include "Models/MacroAction.h"
#include "Platform/KeyboardLayout.h"

#include <QString>
#include <vector>

// A text as key actions through the current keyboard layout: each character's key
// pressed and let go, with Shift and AltGr where the layout needs them.
namespace TextTyping {

// The longest text typed at once.
inline constexpr qsizetype maxCharacters = 5000;

// A press every `interval` seconds (its release half an interval later, at most 20 ms),
// the first at 0. The error names the first character the layout cannot type.
Expected<std::vector<MacroAction>, QString> actionsFor(const QString& text, KeyboardLayout& layout, double interval);

} // namespace TextTyping
