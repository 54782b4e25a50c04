#pragma once

#include "Models/Macro.h"

#include <QPointF>
#include <vector>

// Positions of a macro recorded on one screen layout, placed on another: each point
// keeps its place within its monitor (the same fraction of width and height), on the
// monitor of the same name, else the one at the same place in the layout (ordered left
// to right, then top to bottom).
namespace LayoutMapping {

// Both layouts are known and they are not the same monitors in the same places.
bool differs(const std::vector<ScreenOutput>& recorded, const std::vector<ScreenOutput>& current);
QPointF map(QPointF point, const std::vector<ScreenOutput>& recorded, const std::vector<ScreenOutput>& current);
// `macro` with every pointer position mapped onto `current` (unchanged when either
// layout is unknown).
Macro mapped(const Macro& macro, const std::vector<ScreenOutput>& current);
// Whether `macro` has actions placed on the screen (clicks, moves, drags, wheel turns).
bool usesPositions(const Macro& macro);
// "DP-1 1920×1080 at 0,0; HDMI-A-1 1280×1024 at 1920,-200" for messages.
QString describe(const std::vector<ScreenOutput>& outputs);

} // namespace LayoutMapping
