#include "Services/Screen/PictureSearch.h"

#include "Services/Screen/ImageMatcher.h"

namespace PictureSearch {

std::optional<QPointF> find(ScreenCapture& capture, const ScreenImage& picture, double threshold, const Where& where,
                            ScreenImage* seen)
{
    ImageMatcher::Options options;
    if (threshold > 0)
        options.threshold = threshold;
    auto search = [&](Expected<ScreenImage, CaptureError> part) -> std::optional<QPointF> {
        if (!part.hasValue())
            return std::nullopt;
        const auto found = ImageMatcher::find(picture, part.value(), options);
        if (seen)
            *seen = std::move(part).value();
        return found ? std::optional<QPointF>(found->area.topLeft()) : std::nullopt;
    };
    const double m = nearbyMargin;
    const QRectF nearby = picture.area.adjusted(-m, -m, m, m);
    if (!where.onlyWithin || (where.within && where.within->contains(nearby)))
        if (auto found = search(capture.capture(nearby)))
            return found;
    if (where.within && !where.within->isEmpty())
        if (auto found = search(capture.capture(*where.within)); found || where.onlyWithin)
            return found;
    if (where.onlyWithin)
        return std::nullopt;
    return search(capture.captureScreen());
}

} // namespace PictureSearch
