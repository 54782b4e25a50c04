#pragma once

#include <QString>

// One monitor of the screen layout a macro was recorded on, in global logical pixels.
struct ScreenOutput
{
    QString name;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    double scale = 1;

    bool operator==(const ScreenOutput&) const = default;
};
