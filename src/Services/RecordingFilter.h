#pragma once

#include "Models/MacroAction.h"
#include "Models/RecordingOptions.h"

#include <optional>
#include <vector>

// Lets through the input a recording takes in, action by action as it arrives in time
// order: key actions only when it takes the keyboard, mouse actions only when it takes
// the mouse, and, when moves are thinned, a plain move only when the last move let
// through is at least the interval old. A move held back is let through after all when
// a click, drag or wheel turn follows it, so the pointer gets there as recorded.
// Switches of application always pass.
class RecordingFilter
{
public:
    explicit RecordingFilter(RecordingOptions options = {}) : m_options(options) {}

    // What to record for `action` (none, it, or a held-back move and it).
    std::vector<MacroAction> pass(MacroAction action);
    // Forgets any held-back move (a new recording).
    void reset();

    const RecordingOptions& options() const { return m_options; }

private:
    RecordingOptions m_options;
    std::optional<double> m_lastMoveTime;
    std::optional<MacroAction> m_heldMove;
};
