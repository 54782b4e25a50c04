#pragma once

#include "Models/MacroAction.h"

#include <QString>
#include <cstdint>

// How a key action reads for people: its modifiers and the key's name, "Ctrl+Shift+H".
namespace KeyChord {

// `keyName` as the current layout calls the key; modifiers in the desktop's usual order
// (Ctrl, Alt, AltGr, Shift, Super); caps lock is left out.
QString text(std::uint64_t flags, const QString& keyName);

} // namespace KeyChord
