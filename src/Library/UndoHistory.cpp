#include "Library/UndoHistory.h"

void UndoHistory::record(LibraryChange change)
{
    m_undone.clear();
    m_done.push_back(std::move(change));
    while (m_done.size() > maxSteps)
        m_done.pop_front();
}

std::optional<LibraryChange> UndoHistory::takeUndo()
{
    if (m_done.empty())
        return std::nullopt;
    LibraryChange change = std::move(m_done.back());
    m_done.pop_back();
    m_undone.push_back(change);
    return change;
}

std::optional<LibraryChange> UndoHistory::takeRedo()
{
    if (m_undone.empty())
        return std::nullopt;
    LibraryChange change = std::move(m_undone.back());
    m_undone.pop_back();
    m_done.push_back(change);
    return change;
}

void UndoHistory::clear()
{
    m_done.clear();
    m_undone.clear();
}
