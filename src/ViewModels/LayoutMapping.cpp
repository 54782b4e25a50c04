#include "ViewModels/LayoutMapping.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace LayoutMapping {

namespace {

std::vector<ScreenOutput> ordered(std::vector<ScreenOutput> outputs)
{
    std::sort(outputs.begin(), outputs.end(), [](const ScreenOutput& a, const ScreenOutput& b) {
        return a.x != b.x ? a.x < b.x : a.y < b.y;
    });
    return outputs;
}

// The monitor holding `p`, or the nearest one.
std::size_t outputOf(QPointF p, const std::vector<ScreenOutput>& outputs)
{
    std::size_t best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const ScreenOutput& o = outputs[i];
        const double dx = std::max({o.x - p.x(), 0.0, p.x() - (o.x + o.width)});
        const double dy = std::max({o.y - p.y(), 0.0, p.y() - (o.y + o.height)});
        const double distance = std::hypot(dx, dy);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

} // namespace

bool differs(const std::vector<ScreenOutput>& recorded, const std::vector<ScreenOutput>& current)
{
    if (recorded.empty() || current.empty())
        return false;
    auto geometry = [](std::vector<ScreenOutput> outputs) {
        for (ScreenOutput& o : outputs)
            o.scale = 1; // a change of scale alone moves nothing in logical pixels
        return ordered(std::move(outputs));
    };
    return geometry(recorded) != geometry(current);
}

QPointF map(QPointF point, const std::vector<ScreenOutput>& recorded, const std::vector<ScreenOutput>& current)
{
    if (recorded.empty() || current.empty())
        return point;
    const std::vector<ScreenOutput> from = ordered(recorded), to = ordered(current);
    const std::size_t index = outputOf(point, from);
    const ScreenOutput& source = from[index];
    const ScreenOutput* target = nullptr;
    for (const ScreenOutput& o : to)
        if (o.name == source.name)
            target = &o;
    if (!target)
        target = &to[std::min(index, to.size() - 1)];
    const double fx = source.width > 0 ? std::clamp((point.x() - source.x) / source.width, 0.0, 1.0) : 0;
    const double fy = source.height > 0 ? std::clamp((point.y() - source.y) / source.height, 0.0, 1.0) : 0;
    return {target->x + fx * target->width, target->y + fy * target->height};
}

namespace {
// Actions that happen at a place on the screen.
template <typename T>
constexpr bool isPlaced = std::is_same_v<T, MacroAction::MouseMove> || std::is_same_v<T, MacroAction::MouseDown> ||
                          std::is_same_v<T, MacroAction::MouseUp> || std::is_same_v<T, MacroAction::MouseDrag> ||
                          std::is_same_v<T, MacroAction::Scroll>;
} // namespace

bool usesPositions(const Macro& macro)
{
    return std::any_of(macro.actions.begin(), macro.actions.end(), [](const MacroAction& action) {
        return std::visit([](const auto& a) { return isPlaced<std::decay_t<decltype(a)>>; }, action.payload);
    });
}

Macro mapped(const Macro& macro, const std::vector<ScreenOutput>& current)
{
    Macro result = macro;
    const std::vector<ScreenOutput>& recorded = macro.metadata.outputs;
    if (recorded.empty() || current.empty())
        return result;
    for (MacroAction& action : result.actions)
        std::visit(
            [&](auto& a) {
                using T = std::decay_t<decltype(a)>;
                if constexpr (isPlaced<T>) {
                    const QPointF p = map(QPointF(a.x, a.y), recorded, current);
                    a.x = p.x();
                    a.y = p.y();
                }
            },
            action.payload);
    result.metadata.outputs = current;
    return result;
}

QString describe(const std::vector<ScreenOutput>& outputs)
{
    QStringList parts;
    for (const ScreenOutput& o : ordered(outputs))
        parts << QStringLiteral("%1 %2\u00d7%3 at %4,%5").arg(o.name).arg(o.width).arg(o.height).arg(o.x).arg(o.y);
    return parts.join(QStringLiteral("; "));
}

} // namespace LayoutMapping
