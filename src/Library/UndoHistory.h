#pragma once

#include "Library/LibraryChange.h"

#include <deque>
#include <optional>

// The changes that can be undone and redone, newest last; a new change forgets what
// could be redone. The oldest are let go beyond `maxSteps`.
class UndoHistory
{
public:
    static constexpr std::size_t maxSteps = 100;

    void record(LibraryChange change);
    bool canUndo() const { return !m_done.empty(); }
    bool canRedo() const { return !m_undone.empty(); }
    // The description of what undo or redo would do, or empty.
    QString undoDescription() const { return m_done.empty() ? QString() : m_done.back().description; }
    QString redoDescription() const { return m_undone.empty() ? QString() : m_undone.back().description; }
    // The change to undo (it moves to the redo side), or nothing.
    std::optional<LibraryChange> takeUndo();
    std::optional<LibraryChange> takeRedo();
    void clear();

private:
    std::deque<LibraryChange> m_done;
    std::deque<LibraryChange> m_undone;
};
