#pragma once

#include "Models/Expected.h"
#include "Models/ScreenImage.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Pictures of the screen as PNG files (libpng). The size a PNG declares is read from
// its header alone, so that a picture too large to accept is refused before anything
// is inflated.
namespace PngCodec {

struct Size {
    int width = 0;
    int height = 0;
};

// The width and height `bytes` declare, or nothing when they do not start as a PNG.
std::optional<Size> declaredSize(const QByteArray& bytes);
// The pixels of `bytes`, which must declare at most `maxSide` pixels each way; `area` is
// where the picture lies on the screen. Why not, in words.
Expected<ScreenImage, QString> decode(const QByteArray& bytes, const QRectF& area, int maxSide);
Expected<QByteArray, QString> encode(const ScreenImage& image);

} // namespace PngCodec
