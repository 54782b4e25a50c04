#pragma once

#include <QByteArray>
#include <QRectF>
#include <QString>

// What the screen showed around a press when it was recorded: a small picture (PNG, kept
// as recorded or read) of `area`, in logical screen coordinates, and the window that was
// under the pointer then. A replay waits for the picture before it presses.
struct ClickSight {
    // Pictures larger than this are refused when read: a press needs a small picture.
    static constexpr int maxSide = 512;
    static constexpr qsizetype maxPngBytes = 1'000'000;

    QByteArray png;
    QRectF area;
    // The window under the pointer (its application's name and its title) and where it
    // was; an empty application: not known.
    QString windowApp;
    QString windowTitle;
    QRectF windowArea;
    // How alike a place must be to be taken for the picture (0: the usual).
    double threshold = 0;

    bool operator==(const ClickSight&) const = default;
};
