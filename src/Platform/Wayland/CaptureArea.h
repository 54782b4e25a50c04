#pragma once

#include "Models/Expected.h"
#include "Platform/CaptureError.h"
#include "Platform/Linux/OutputLayout.h"

#include <QRectF>
#include <cmath>

// What the desktop backends share about the areas they are asked to read.
namespace CaptureArea {

// The largest side any backend reads (a 16K screen).
inline constexpr int maxSide = 16384;

// `wanted` grown to whole logical pixels; refused when empty or larger than maxSide.
inline Expected<QRectF, CaptureError> wholePixels(const QRectF& wanted)
{
    const QRectF area(std::floor(wanted.x()), std::floor(wanted.y()), std::ceil(wanted.right()) - std::floor(wanted.x()),
                      std::ceil(wanted.bottom()) - std::floor(wanted.y()));
    if (!(area.width() > 0 && area.height() > 0 && area.width() <= maxSide && area.height() <= maxSide))
        return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("not an area to read")});
    return area;
}

// Every output together; refused (saying `desktop` reports none) when there are none.
inline Expected<QRectF, CaptureError> wholeScreen(const std::vector<Output>& outputs, const QString& none)
{
    const QRectF whole = OutputLayout::boundingBox(outputs);
    if (whole.isEmpty())
        return failure(CaptureError{CaptureError::Kind::unavailable, none});
    return whole;
}

} // namespace CaptureArea
