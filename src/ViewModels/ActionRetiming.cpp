#include "ViewModels/ActionRetiming.h"

#include <algorithm>
#include <cmath>

namespace ActionRetiming {

namespace {

// A pause that a hand-made file could make negative or not a number counts as none.
double pauseOf(const MacroAction& action)
{
    const auto* delay = std::get_if<MacroAction::Delay>(&action.payload);
    return delay && std::isfinite(delay->duration) && delay->duration > 0 ? delay->duration : 0.0;
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

template <typename T>
void eraseElements(std::vector<T>& items, const std::set<int>& positions)
{
    std::vector<T> kept;
    for (int i = 0; i < int(items.size()); ++i)
        if (!positions.count(i))
            kept.push_back(std::move(items[std::size_t(i)]));
    items = std::move(kept);
}

} // namespace

std::vector<double> gaps(const std::vector<MacroAction>& actions)
{
    std::vector<double> result(actions.size(), 0.0);
    for (std::size_t i = 1; i < actions.size(); ++i) {
        const MacroAction& previous = actions[i - 1];
        result[i] = actions[i].timestamp - (previous.timestamp + pauseOf(previous));
    }
    return result;
}

void walk(std::vector<MacroAction>& actions, const std::vector<double>& gaps)
{
    double running = 0;
    for (std::size_t i = 0; i < actions.size(); ++i) {
        MacroAction& action = actions[i];
        if (action.type() == ActionType::delay) {
            action.timestamp = running;
            running += pauseOf(action);
            continue;
        }
        const double gap = i == 0 ? 0.0 : (std::isfinite(gaps[i]) ? std::max(gaps[i], minimumGap) : minimumGap);
        running += gap;
        action.timestamp = running;
    }
}

void deleteActions(std::vector<MacroAction>& actions, const std::set<int>& positions)
{
    std::vector<double> g = gaps(actions);
    eraseElements(actions, positions);
    eraseElements(g, positions);
    walk(actions, g);
}

void moveActions(std::vector<MacroAction>& actions, const std::set<int>& positions, int destination)
{
    std::vector<double> g = gaps(actions);
    moveElements(actions, positions, destination);
    moveElements(g, positions, destination);
    walk(actions, g);
}

void insertDelay(std::vector<MacroAction>& actions, int afterIndex, double duration)
{
    std::vector<double> g = gaps(actions);
    const int count = int(actions.size());
    const double timestamp = afterIndex >= 0 && afterIndex < count ? actions[std::size_t(afterIndex)].timestamp : 0.0;
    const int at = std::clamp(afterIndex + 1, 0, count);
    actions.insert(actions.begin() + at, MacroAction::delay(timestamp, duration));
    g.insert(g.begin() + at, 0.0);
    walk(actions, g);
}

} // namespace ActionRetiming
