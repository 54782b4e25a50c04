#include "Library/ActionRetiming.h"

#include <algorithm>
#include <cmath>

namespace ActionRetiming {

namespace {

double finiteOrZero(double value)
{
    return std::isfinite(value) && value > 0 ? value : 0.0;
}

double pauseOf(const MacroAction& action)
{
    const auto* delay = std::get_if<MacroAction::Delay>(&action.payload);
    return delay ? finiteOrZero(delay->duration) : 0.0;
}

double startOf(const std::vector<MacroAction>& actions)
{
    return actions.empty() ? 0.0 : finiteOrZero(actions.front().timestamp);
}

template <typename T>
void moveElements(std::vector<T>& items, const std::set<int>& positions, int destination)
{
    std::vector<T> moved, rest;
    int before = 0;
    for (int i = 0; i < int(items.size()); ++i) {
        if (positions.count(i)) {
            moved.push_back(std::move(items[std::size_t(i)]));
            if (i < destination)
                ++before;
        } else {
            rest.push_back(std::move(items[std::size_t(i)]));
        }
    }
    const int at = std::clamp(destination - before, 0, int(rest.size()));
    rest.insert(rest.begin() + at, std::make_move_iterator(moved.begin()), std::make_move_iterator(moved.end()));
    items = std::move(rest);
}

} // namespace

std::vector<double> gaps(const std::vector<MacroAction>& actions)
{
    // Read along the list: a time out of order or not a number is taken as "at once".
    std::vector<double> result(actions.size(), 0.0);
    double end = 0; // where the action before ends
    for (std::size_t i = 0; i < actions.size(); ++i) {
        const double t = actions[i].timestamp;
        const double at = i == 0 ? finiteOrZero(t) : (std::isfinite(t) ? std::max(end, t) : end);
        if (i > 0)
            result[i] = at - end;
        end = at + pauseOf(actions[i]);
    }
    return result;
}

void walk(std::vector<MacroAction>& actions, const std::vector<double>& gaps, double start)
{
    double running = finiteOrZero(start);
    for (std::size_t i = 0; i < actions.size(); ++i) {
        if (i > 0)
            running += finiteOrZero(gaps[i]);
        actions[i].timestamp = running;
        running += pauseOf(actions[i]);
    }
}

void deleteActions(std::vector<MacroAction>& actions, const std::set<int>& positions)
{
    const std::vector<double> g = gaps(actions);
    std::vector<MacroAction> kept;
    std::vector<double> keptGaps;
    double start = 0;
    double carried = 0;     // gaps of the deleted actions just before the next survivor
    double leadingPause = 0; // pauses of deleted delays before the first survivor
    for (int i = 0; i < int(actions.size()); ++i) {
        MacroAction& action = actions[std::size_t(i)];
        if (positions.count(i)) {
            carried += g[std::size_t(i)];
            if (kept.empty())
                leadingPause += pauseOf(action);
            continue;
        }
        if (kept.empty()) // the first survivor keeps its time, less the pauses deleted before it
            start = finiteOrZero(action.timestamp) - leadingPause;
        keptGaps.push_back(kept.empty() ? 0.0 : g[std::size_t(i)] + carried);
        carried = 0;
        kept.push_back(std::move(action));
    }
    actions = std::move(kept);
    walk(actions, keptGaps, start);
}

void moveActions(std::vector<MacroAction>& actions, const std::set<int>& positions, int destination)
{
    const double start = startOf(actions);
    std::vector<double> g = gaps(actions);
    moveElements(actions, positions, destination);
    moveElements(g, positions, destination);
    walk(actions, g, start);
}

void insertDelay(std::vector<MacroAction>& actions, int afterIndex, double duration)
{
    insertActions(actions, afterIndex, {MacroAction::delay(0, duration)}, 0.0);
}

void insertActions(std::vector<MacroAction>& actions, int afterIndex, const std::vector<MacroAction>& inserted,
                   double firstGap)
{
    if (inserted.empty())
        return;
    const double start = startOf(actions);
    std::vector<double> g = gaps(actions);
    std::vector<double> added = gaps(inserted);
    added.front() = finiteOrZero(firstGap);
    const int at = std::clamp(afterIndex + 1, 0, int(actions.size()));
    actions.insert(actions.begin() + at, inserted.begin(), inserted.end());
    g.insert(g.begin() + at, added.begin(), added.end());
    walk(actions, g, start);
}

void setGaps(std::vector<MacroAction>& actions, const std::set<int>& positions, double gap)
{
    const double start = startOf(actions);
    std::vector<double> g = gaps(actions);
    for (const int i : positions)
        if (i > 0 && i < int(g.size()))
            g[std::size_t(i)] = finiteOrZero(gap);
    walk(actions, g, start);
}

void scaleGaps(std::vector<MacroAction>& actions, const std::set<int>& positions, double factor)
{
    const double start = startOf(actions);
    std::vector<double> g = gaps(actions);
    for (const int i : positions)
        if (i > 0 && i < int(g.size()))
            g[std::size_t(i)] = finiteOrZero(g[std::size_t(i)] * factor);
    walk(actions, g, start);
}

void replaceAction(std::vector<MacroAction>& actions, int position, const MacroAction& action, double gap)
{
    if (position < 0 || position >= int(actions.size()))
        return;
    const double start = startOf(actions);
    std::vector<double> g = gaps(actions);
    actions[std::size_t(position)] = action;
    if (position > 0)
        g[std::size_t(position)] = finiteOrZero(gap);
    walk(actions, g, start);
}

} // namespace ActionRetiming
