#include "Platform/Linux/OutputLayout.h"

#include <algorithm>
#include <cmath>

namespace OutputLayout {

QRectF boundingBox(const std::vector<Output>& outputs)
{
    QRectF box;
    for (const Output& output : outputs)
        box = box.isNull() ? output.geometry : box.united(output.geometry);
    return box;
}

std::pair<int, int> toAbsolute(const std::vector<Output>& outputs, double x, double y)
{
    const QRectF box = boundingBox(outputs);
    if (box.width() <= 0 || box.height() <= 0)
        return {0, 0};
    // The last pixel maps to the top of the range: (size - 1) spans 0..absoluteMax.
    auto axis = [](double value, double origin, double size) {
        const double span = std::max(1.0, size - 1);
        const double t = std::clamp((value - origin) / span, 0.0, 1.0);
        return int(std::lround(t * absoluteMax));
    };
    return {axis(x, box.x(), box.width()), axis(y, box.y(), box.height())};
}

} // namespace OutputLayout
