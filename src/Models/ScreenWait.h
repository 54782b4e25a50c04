#pragma once

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <cstdint>

// A step made by hand that holds the macro until something is so: a picture on the
// screen, a colour at a point, a window, or a screen that has stopped changing. What
// follows keeps its recorded spacing from the moment it was so.
struct ScreenWait {
    enum class Kind : std::uint8_t { image, color, window, settle };
    enum class WindowEvent : std::uint8_t { appear, front, close };
    enum class TitleMatch : std::uint8_t { contains, pattern };

    // Longest wait a step may ask for: a day.
    static constexpr double maxTimeout = 86400;
    static constexpr int maxQuietMs = 600000;

    Kind kind = Kind::image;
    double timeout = 10;        // seconds
    bool stopOnTimeout = true;  // false: go on with the next step

    // image: the picture (PNG) and where it was taken, in logical screen coordinates;
    // settle: the area that must stop changing (empty: the front window);
    // color: the point is area's top left.
    QByteArray png;
    QRectF area;
    double threshold = 0; // image: how alike a place must be; 0: the usual

    // image: only within this application's window; window: the application (either may
    // be empty for a window step that names a title only).
    QString app;
    QString appName;

    // window
    QString title;
    TitleMatch titleMatch = TitleMatch::contains;
    WindowEvent event = WindowEvent::appear;

    // color: 0xRRGGBB, and how far each channel may be from it
    std::uint32_t color = 0;
    int tolerance = 16;

    // settle
    int quietMs = 500;

    bool operator==(const ScreenWait&) const = default;
};
