#pragma once

#include "Models/ScreenImage.h"
#include "Models/ScreenWait.h"
#include "Platform/ScreenCapture.h"
#include "Platform/WindowWatch.h"

#include <QRegularExpression>
#include <optional>

// Whether what a wait step waits for is so, one look at a time; the caller decides how
// often to look and for how long. A picture counts once two looks in a row find it in the
// same place; a screen has settled once it has looked the same for the step's quiet time.
class ScreenWaitCheck
{
public:
    // `picture`: the step's picture, decoded (image steps; it must outlive the check). The
    // capture and the watch may be null where the step needs neither.
    ScreenWaitCheck(const ScreenWait& wait, ScreenCapture* capture, WindowWatch* windows,
                    const ScreenImage* picture = nullptr);

    // One look at clock reading `now` (seconds): true once it is so.
    bool look(double now);
    // Whether a look right away may decide (a picture found once, not yet twice).
    bool wantsAnotherLookNow() const { return m_foundOnce; }
    // The screen the last look read (for saving it when the wait ran out).
    ScreenImage& lastScreen() { return m_lastScreen; }

    // Whether `window` is one the step names (its application and its title).
    static bool names(const ScreenWait& wait, const DesktopWindow& window, const QRegularExpression& pattern);

private:
    bool lookForPicture();
    bool lookAtColor();
    bool lookAtWindows();
    bool lookForQuiet(double now);
    // The area of the named application's window (the front one if it has several).
    std::optional<QRectF> windowArea(const QString& app);

    const ScreenWait& m_wait;
    ScreenCapture* m_capture;
    WindowWatch* m_windows;
    const ScreenImage* m_picture;
    QRegularExpression m_pattern;
    ScreenImage m_lastScreen;
    std::optional<QPointF> m_previousPlace;
    bool m_foundOnce = false;
    double m_quietSince = 0;
};
