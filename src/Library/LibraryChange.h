#pragma once

#include "Models/HotkeyChord.h"
#include "Models/Macro.h"

#include <QString>
#include <optional>
#include <vector>

// One change to the library as it can be undone and redone: each macro it touched, as it
// was and as it became, with its place in the list (nothing: not there).
struct LibraryChange {
    struct Entry {
        QUuid id;
        std::optional<Macro> before;
        int beforeIndex = -1;
        std::optional<Macro> after;
        int afterIndex = -1;
        // The macro's own hotkey before and after (deleting a macro lets go of it).
        std::optional<HotkeyChord> beforeChord;
        std::optional<HotkeyChord> afterChord;
    };
    QString description; // "Deleted macro "Login"", as the log and the Edit menu say it
    std::vector<Entry> entries;
};
