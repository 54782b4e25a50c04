#pragma once

#include <QtGlobal>
#include <optional>

// How to replay a macro.
struct PlaybackOptions {
    double speedMultiplier = 1.0;
    qint64 loopCount = 1; // below 1 plays once
    bool isInfinite = false;
    std::optional<double> delayOverride; // uniform spacing in seconds instead of timestamps
    double initialDelay = 0;             // seconds before the first loop

    bool operator==(const PlaybackOptions&) const = default;
};
