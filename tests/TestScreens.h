#pragma once

// Screens for tests: plain ones, busy ones whose every area differs, and the parts of
// one pasted into another, as the pictures of a recording and the screens of a replay.
#include "Models/ScreenImage.h"

#include <algorithm>
#include <array>
#include <random>

using Colour = std::array<std::uint8_t, 3>; // blue, green, red

inline ScreenImage blank(const QRectF& area, int width, int height, Colour fill = {255, 255, 255})
{
    ScreenImage image{area, width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 4)};
    for (std::size_t i = 0; i < image.pixels.size(); i += 4)
        std::copy(fill.begin(), fill.end(), image.pixels.begin() + std::ptrdiff_t(i));
    return image;
}

inline void set(ScreenImage& image, int x, int y, Colour c)
{
    std::uint8_t* p = &image.pixels[(std::size_t(y) * image.width + x) * 4];
    std::copy(c.begin(), c.end(), p);
}

inline Colour at(const ScreenImage& image, int x, int y)
{
    const std::uint8_t* p = &image.pixels[(std::size_t(y) * image.width + x) * 4];
    return {p[0], p[1], p[2]};
}

// A busy desktop: blocks of 6×6 pixels in random colours, so that every area differs.
inline ScreenImage texture(unsigned seed, int width = 400, int height = 300)
{
    ScreenImage image = blank(QRectF(0, 0, width, height), width, height);
    std::mt19937 random(seed);
    for (int by = 0; by < height; by += 6)
        for (int bx = 0; bx < width; bx += 6) {
            const Colour c{std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random())};
            for (int y = by; y < std::min(by + 6, height); ++y)
                for (int x = bx; x < std::min(bx + 6, width); ++x)
                    set(image, x, y, c);
        }
    return image;
}

inline ScreenImage crop(const ScreenImage& image, int x0, int y0, int width, int height)
{
    ScreenImage part = blank(QRectF(image.area.x() + x0, image.area.y() + y0, width, height), width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            set(part, x, y, at(image, x0 + x, y0 + y));
    return part;
}

inline void paste(ScreenImage& image, const ScreenImage& part, int x0, int y0)
{
    for (int y = 0; y < part.height; ++y)
        for (int x = 0; x < part.width; ++x)
            set(image, x0 + x, y0 + y, at(part, x, y));
}

