#pragma once

#include <QString>

// Why the screen could not be read. `detail` is the desktop's own words, for the log.
struct CaptureError {
    enum class Kind {
        unavailable, // no way to read this desktop's screen (nothing answers)
        refused,     // the desktop answered and said no
        failed,      // the read itself went wrong
    };
    Kind kind = Kind::failed;
    QString detail;

    QString description() const
    {
        const QString why = kind == Kind::unavailable ? QStringLiteral("the screen cannot be read here")
                            : kind == Kind::refused   ? QStringLiteral("the desktop refused to show the screen")
                                                      : QStringLiteral("reading the screen failed");
        return detail.isEmpty() ? why : why + QStringLiteral(": ") + detail;
    }
    bool operator==(const CaptureError&) const = default;
};
