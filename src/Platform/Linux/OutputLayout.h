#pragma once

#include <QRectF>
#include <QString>
#include <vector>

// One monitor in the desktop's layout, in global logical pixels (scaled monitors are
// already divided by their scale).
struct Output
{
    QString name;
    QRectF geometry;
    double scale = 1;

    bool operator==(const Output&) const = default;
};

// Positions on a virtual absolute pointer: compositors stretch its fixed range over the
// bounding box of every output, so a position is normalised against that box.
namespace OutputLayout {

inline constexpr int absoluteMax = 32767;

QRectF boundingBox(const std::vector<Output>& outputs);
// The device value (0..absoluteMax on each axis) that lands on (x, y); clamped into the box.
std::pair<int, int> toAbsolute(const std::vector<Output>& outputs, double x, double y);

} // namespace OutputLayout
