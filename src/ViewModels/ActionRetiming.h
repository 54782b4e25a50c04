#pragma once

#include "Models/MacroAction.h"

#include <set>
#include <vector>

// Action edits that keep the macro's timing: each action's gap to the one before it
// is read from the list as it stands before the edit, travels with its action through
// the delete, move or insert, and then a walk lays the timestamps out again. A delay
// starts at the running time and pushes everything after it back by its duration; the
// first action's gap is 0 and every later gap at least 0.05 s.
namespace ActionRetiming {

inline constexpr double minimumGap = 0.05;

// The gap of each action to the end of the one before it (a delay ends after its pause).
std::vector<double> gaps(const std::vector<MacroAction>& actions);
// Lays the timestamps out from the gaps (one per action).
void walk(std::vector<MacroAction>& actions, const std::vector<double>& gaps);

void deleteActions(std::vector<MacroAction>& actions, const std::set<int>& positions);
// A list move: the actions at `positions` go before the element now at `destination`.
void moveActions(std::vector<MacroAction>& actions, const std::set<int>& positions, int destination);
// A delay after position `afterIndex` (-1: at the front; beyond the end: at the end).
void insertDelay(std::vector<MacroAction>& actions, int afterIndex, double duration);

} // namespace ActionRetiming
