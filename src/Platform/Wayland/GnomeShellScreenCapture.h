#pragma once

#include "Platform/Linux/OutputLayout.h"
#include "Platform/ScreenCapture.h"

#include <QDBusConnection>
#include <functional>
#include <mutex>
#include <vector>

// The screen of GNOME Shell, through Quillo's Shell extension: it takes the picture inside
// the shell and hands it only to the process that owns Quillo's bus name
// (app.quillo.Quillo), and only between this capture's setReading(true) and (false).
// GNOME keeps its own screenshot interface for a few programs; this is not a way around
// that, since the extension answers nobody else and nothing outside those times.
class GnomeShellScreenCapture : public ScreenCapture
{
public:
    // The name Quillo owns on the session bus while it may read the screen.
    inline static const QString applicationName = QStringLiteral("app.quillo.Quillo");
    static constexpr int timeoutMs = 5000;
    static constexpr qint64 maxBytes = 256LL * 1024 * 1024;

    // `outputs`: the desktop's layout now (for the whole screen).
    explicit GnomeShellScreenCapture(std::function<std::vector<Output>()> outputs,
                                     QDBusConnection bus = QDBusConnection::sessionBus());
    ~GnomeShellScreenCapture() override;

    Expected<ScreenImage, CaptureError> capture(const QRectF& area) override;
    Expected<ScreenImage, CaptureError> captureScreen() override;
    QString mechanism() override { return QStringLiteral("Quillo's GNOME Shell extension"); }
    void setReading(bool on) override;

private:
    // Says the reading's start or end to the extension; false with the reason when it will
    // not hear of it.
    bool tell(bool on, QString* problem);

    std::function<std::vector<Output>()> m_outputs;
    QDBusConnection m_bus;
    std::mutex m_mutex;
    int m_readers = 0;
    bool m_ownsName = false;
    QString m_problem; // why the last start of a reading failed
};
