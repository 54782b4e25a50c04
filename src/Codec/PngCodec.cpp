#include "Codec/PngCodec.h"

#include <png.h>

#include <cstring>

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

std::uint32_t bigEndian(const QByteArray& bytes, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + at);
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

} // namespace

std::optional<PngCodec::Size> PngCodec::declaredSize(const QByteArray& bytes)
{
    // The signature, then the IHDR chunk: its length (13), its name, width, height.
    if (bytes.size() < 24 || std::memcmp(bytes.constData(), kSignature, 8) != 0 ||
        std::memcmp(bytes.constData() + 12, "IHDR", 4) != 0 || bigEndian(bytes, 8) != 13)
        return std::nullopt;
    const std::uint32_t width = bigEndian(bytes, 16), height = bigEndian(bytes, 20);
    if (width == 0 || height == 0 || width > 0x7fffffff || height > 0x7fffffff)
        return std::nullopt;
    return Size{int(width), int(height)};
}

Expected<ScreenImage, QString> PngCodec::decode(const QByteArray& bytes, const QRectF& area, int maxSide)
{
    const auto size = declaredSize(bytes);
    if (!size)
        return failure(QStringLiteral("the picture is not a PNG"));
    if (size->width > maxSide || size->height > maxSide)
        return failure(QStringLiteral("the picture declares %1 x %2 pixels, more than %3 x %3")
                           .arg(size->width)
                           .arg(size->height)
                           .arg(maxSide));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.constData(), std::size_t(bytes.size())))
        return failure(QStringLiteral("the picture cannot be read: %1").arg(QString::fromLatin1(image.message)));
    image.format = PNG_FORMAT_BGRA;
    ScreenImage out{area, int(image.width), int(image.height), {}};
    out.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
        const QString why = QString::fromLatin1(image.message);
        png_image_free(&image);
        return failure(QStringLiteral("the picture cannot be read: %1").arg(why));
    }
    for (std::size_t i = 3; i < out.pixels.size(); i += 4)
        out.pixels[i] = 0; // unused, as in every picture of the screen
    return out;
}

Expected<QByteArray, QString> PngCodec::encode(const ScreenImage& source)
{
    if (source.isNull())
        return failure(QStringLiteral("there is no picture to write"));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(source.width);
    image.height = png_uint_32(source.height);
    image.format = PNG_FORMAT_BGR; // the fourth byte is unused
    // BGR rows from the BGRA pixels.
    std::vector<std::uint8_t> rows(std::size_t(source.width) * source.height * 3);
    for (std::size_t i = 0, j = 0; i < source.pixels.size(); i += 4, j += 3)
        std::memcpy(&rows[j], &source.pixels[i], 3);
    png_alloc_size_t length = 0;
    if (!png_image_write_to_memory(&image, nullptr, &length, 0, rows.data(), 0, nullptr))
        return failure(QStringLiteral("the picture cannot be written: %1").arg(QString::fromLatin1(image.message)));
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    if (!png_image_write_to_memory(&image, bytes.data(), &length, 0, rows.data(), 0, nullptr))
        return failure(QStringLiteral("the picture cannot be written: %1").arg(QString::fromLatin1(image.message)));
    bytes.truncate(qsizetype(length));
    return bytes;
}
