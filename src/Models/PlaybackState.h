#pragma once

#include <QUuid>
#include <limits>

// What the playback engine is doing. `stopping` is never published by the engine;
// observers treat it like `playing` (busy).
struct PlaybackState {
    enum class Kind { idle, playing, stopping };

    // The loop total of an endless playback.
    static constexpr qint64 endless = std::numeric_limits<qint64>::max();

    Kind kind = Kind::idle;
    QUuid macroId;
    qint64 currentLoop = 0;
    qint64 totalLoops = 0;

    static PlaybackState idle() { return {}; }
    static PlaybackState playing(const QUuid& macroId, qint64 currentLoop, qint64 totalLoops)
    {
        return {Kind::playing, macroId, currentLoop, totalLoops};
    }
    static PlaybackState stopping() { return {Kind::stopping, {}, 0, 0}; }

    bool isBusy() const { return kind != Kind::idle; }
    bool isEndless() const { return kind == Kind::playing && totalLoops == endless; }
    bool operator==(const PlaybackState&) const = default;
};
