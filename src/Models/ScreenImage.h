#pragma once

#include <QRectF>
#include <cstdint>
#include <vector>

// A picture of part of the screen. `area` is where it lies in logical screen
// coordinates (those of recorded positions); the pixels are the outputs' own, so a
// picture of a scale-2 output holds twice as many pixels each way as its area is wide
// and high. Four bytes per pixel (blue, green, red, unused), rows top to bottom.
struct ScreenImage {
    QRectF area;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    bool isNull() const { return width <= 0 || height <= 0 || pixels.size() != std::size_t(width) * std::size_t(height) * 4; }
    // Pixels per logical pixel across.
    double scale() const { return area.width() > 0 ? double(width) / area.width() : 1.0; }

    bool operator==(const ScreenImage&) const = default;
};
