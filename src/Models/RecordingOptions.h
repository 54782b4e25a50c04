#pragma once

// What a recording takes in: keyboard, mouse or both, and whether plain pointer moves
// are thinned out (the moves that lead into a click, drag or wheel always stay).
struct RecordingOptions
{
    static constexpr int maxMoveIntervalMs = 10'000;

    bool keyboard = true;
    bool mouse = true;
    // At most one plain move per this many milliseconds; 0 keeps every move.
    int moveIntervalMs = 0;

    // Everything the input gives, as a recording without options takes it.
    bool takesEverything() const { return keyboard && mouse && moveIntervalMs == 0; }
    bool operator==(const RecordingOptions&) const = default;
};
