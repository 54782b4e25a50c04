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
    // At each application switch, wait up to this many seconds for the application to be
    // in front (the schedule shifts by the wait); stop when it never is. 0: do not wait.
    double waitForApplications = 0;
    // Before each press that carries what the screen showed around it, wait up to this many
    // seconds for that picture to be on the screen and press where it is (the schedule
    // shifts by the wait); stop when it never is. 0: replay blind.
    double waitForScreen = 10;
    // Positions recorded on another screen layout are placed on the current one.
    bool mapToCurrentLayout = false;

    bool operator==(const PlaybackOptions&) const = default;
};
