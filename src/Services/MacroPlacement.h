#pragma once

#include "Models/Expected.h"
#include "Models/Macro.h"

#include <QString>
#include <optional>
#include <vector>

// Putting a macro back into a library in place of another one: a restored backup in
// place of the macro it was made from, an imported file in place of the macro of the
// same name. The macro it replaces keeps its place, its id (so its hotkey and its
// backups stay with it) and its creation date.
namespace MacroPlacement {

// `macro` where the library's macro of the same id is, or first in the list when none
// has it. The place replaced, or nothing when it was added.
std::optional<std::size_t> putInPlace(std::vector<Macro>& library, Macro macro);

// `macro` in place of the one macro named exactly like it, or first when none is.
// Refused (nothing changed) when several have that name, since the one meant is unknown.
Expected<std::optional<std::size_t>, QString> replaceByName(std::vector<Macro>& library, Macro macro);

} // namespace MacroPlacement
