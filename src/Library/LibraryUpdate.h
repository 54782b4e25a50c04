#pragma once

#include <QUuid>
#include <optional>

// What a change to the library was, as its one change signal tells it.
struct LibraryUpdate {
    enum class Kind {
        loaded,   // read from the file at start
        edited,   // renamed, deleted, actions edited (an undoable step)
        imported, // a macro file added or put in place of a macro of its name
        restored, // a backup put back in place of the macro it was made from
        recorded, // a new recording saved (not an undoable step)
        undone,
        redone,
    };
    Kind kind = Kind::edited;
    // The macro the change brings into view: the one added, imported or restored, or
    // the first an undo or redo put back; nothing when no macro should come forward.
    std::optional<QUuid> shown;
    // Whether the undo history changed with it.
    bool historyChanged = false;
};
