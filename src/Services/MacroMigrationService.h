#pragma once

#include "Models/Expected.h"
#include "Models/Macro.h"
#include "Services/MigrationError.h"

#include <vector>

// Checks the format version of macros read from disk. Version 1 is the only one
// there is, so "migrating" means accepting it and refusing everything else.
class MacroMigrationService
{
public:
    // The macros to use, in the same order; the first macro of another version fails
    // the whole list.
    static Expected<std::vector<Macro>, MigrationError> migrate(std::vector<Macro> macros);
    // The same check for one macro.
    static Expected<Macro, MigrationError> migrate(Macro macro);
};
