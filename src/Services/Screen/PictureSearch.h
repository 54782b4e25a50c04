#pragma once

#include "Models/ScreenImage.h"
#include "Platform/ScreenCapture.h"

#include <QPointF>
#include <optional>

// One look for a picture on the screen: first around the place it was taken from, then
// in `within` (the window it was in, where that is now), then on the whole screen unless
// `onlyWithin`. Where it lies now (logical coordinates of its top left), or nothing.
namespace PictureSearch {

// How far around its place a picture is looked for first.
inline constexpr double nearbyMargin = 24;

// `threshold` 0: the matcher's usual. `seen`: the last area read, for saying what the
// screen showed when a wait ran out.
struct Where {
    std::optional<QRectF> within;
    bool onlyWithin = false;
};
std::optional<QPointF> find(ScreenCapture& capture, const ScreenImage& picture, double threshold,
                            const Where& where = {}, ScreenImage* seen = nullptr);

} // namespace PictureSearch
