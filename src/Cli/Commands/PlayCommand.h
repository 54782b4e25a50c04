#pragma once

#include <QStringList>

// `quillo play`: replays a macro of the library or a file; Ctrl-C stops it and
// releases every key and button.
class PlayCommand
{
public:
    static constexpr int maxSpacingSeconds = 86400;
    static constexpr int maxWaitSeconds = 3600;
    static constexpr qint64 maxLoops = 1000000;
    static int run(const QStringList& args);
};
