#pragma once

#include "Models/MacroAction.h"
#include "Platform/KeyboardLayout.h"

#include <QString>

// A key action as people read it, "Shift+H" (the key named by the current layout), or
// a mouse action with modifiers, "Shift+Left Click", "Ctrl+Scroll"; empty for other
// actions.
namespace ActionChordText {

QString of(const MacroAction& action, KeyboardLayout& layout);

} // namespace ActionChordText
