#pragma once

#include "Models/MacroAction.h"

#include <set>
#include <vector>

// Action edits that change the timing only where they happen. Each action's gap to the
// end of the one before it (a delay ends after its pause) is read from the list as it
// stands before the edit, travels with its action, and a walk then lays the timestamps
// out again from the first action's own time:
// - a deleted action's gap goes to the action after it, which so keeps its distance to
//   the one now before it (a deleted delay takes its pause with it);
// - a moved block keeps its inner gaps and takes its first gap with it;
// - inserted actions push everything after them back by exactly their own span;
// - a gap of 0 stays 0; a gap a hand-made file makes negative or not a number counts as 0.
namespace ActionRetiming {

// The gap of each action to the end of the one before it (the first: 0).
std::vector<double> gaps(const std::vector<MacroAction>& actions);
// Lays the timestamps out from `gaps` (one per action), the first action at `start`.
void walk(std::vector<MacroAction>& actions, const std::vector<double>& gaps, double start);

void deleteActions(std::vector<MacroAction>& actions, const std::set<int>& positions);
// A list move: the actions at `positions` go before the element now at `destination`.
void moveActions(std::vector<MacroAction>& actions, const std::set<int>& positions, int destination);
// A delay after position `afterIndex` (-1: at the front; beyond the end: at the end).
void insertDelay(std::vector<MacroAction>& actions, int afterIndex, double duration);
// `inserted` after position `afterIndex`, its first action `firstGap` after the end of the
// one before, the rest with the gaps their own timestamps give.
void insertActions(std::vector<MacroAction>& actions, int afterIndex, const std::vector<MacroAction>& inserted,
                   double firstGap);
// Each action at `positions` gets `gap` (an action's gap is its own: later actions move with it).
void setGaps(std::vector<MacroAction>& actions, const std::set<int>& positions, double gap);
void scaleGaps(std::vector<MacroAction>& actions, const std::set<int>& positions, double factor);
// The action at `position` replaced by `action` (its timestamp ignored), `gap` after the one before.
void replaceAction(std::vector<MacroAction>& actions, int position, const MacroAction& action, double gap);

} // namespace ActionRetiming
