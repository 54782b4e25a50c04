#pragma once

#include "Platform/Linux/OutputLayout.h"
#include "Platform/ScreenCapture.h"

#include <QProcessEnvironment>
#include <functional>
#include <vector>

// The screen of sway and other wlroots compositors, through their screencopy protocol as
// grim speaks it: each capture runs `grim -g "X,Y WxH" -t png -` in the session and reads
// the picture it writes (at the outputs' own scale). Only the parts on an output are
// read; the rest is black.
class GrimScreenCapture : public ScreenCapture
{
public:
    // The longest a capture may take, and the most it may write.
    static constexpr int timeoutMs = 5000;
    static constexpr qint64 maxBytes = 256LL * 1024 * 1024;

    // `outputs`: the desktop's layout now. `environment`: the session's (WAYLAND_DISPLAY,
    // XDG_RUNTIME_DIR).
    explicit GrimScreenCapture(std::function<std::vector<Output>()> outputs,
                               QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());

    Expected<ScreenImage, CaptureError> capture(const QRectF& area) override;
    Expected<ScreenImage, CaptureError> captureScreen() override;
    QString mechanism() override { return QStringLiteral("the compositor's screencopy (grim)"); }

    // Whether grim is installed.
    static bool available();

private:
    std::function<std::vector<Output>()> m_outputs;
    QProcessEnvironment m_environment;
};
