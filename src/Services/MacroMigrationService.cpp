#include "Services/MacroMigrationService.h"

Expected<Macro, MigrationError> MacroMigrationService::migrate(Macro macro)
{
    if (macro.version < Macro::currentVersion)
        return failure(MigrationError{MigrationError::Kind::versionTooOld, macro.version});
    if (macro.version > Macro::currentVersion)
        return failure(MigrationError{MigrationError::Kind::versionTooNew, macro.version});
    macro.version = Macro::currentVersion;
    return macro;
}

Expected<std::vector<Macro>, MigrationError>
MacroMigrationService::migrate(std::vector<Macro> macros)
{
    for (Macro& macro : macros) {
        auto migrated = migrate(std::move(macro));
        if (!migrated)
            return failure(migrated.error());
        macro = std::move(migrated).value();
    }
    return macros;
}
