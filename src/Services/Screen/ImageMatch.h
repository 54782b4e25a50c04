#pragma once

#include <QRectF>

// Where a picture was found on the screen: the area it covers there, in logical screen
// coordinates, and how alike the two are (normalised correlation over the colour
// channels: 1 the same, 0 unrelated).
struct ImageMatch {
    QRectF area;
    double score = 0;
};
