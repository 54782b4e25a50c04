#pragma once

#include <QStringList>

// `quillo record`: records until a hotkey, Ctrl-C or the duration, then saves into the
// library (through the running application when there is one).
class RecordCommand
{
public:
    static constexpr int maxSeconds = 86400;
    static int run(const QStringList& args);
};
