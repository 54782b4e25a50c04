#pragma once

#include "Platform/Linux/OutputLayout.h"
#include "Platform/ScreenCapture.h"

#include <QDBusConnection>
#include <functional>
#include <vector>

// The screen of KDE Plasma (5.27 and 6), through KWin's org.kde.KWin.ScreenShot2: KWin
// writes the picture of an area into a pipe Quillo hands it, at the outputs' own scale.
// KWin answers only programs whose desktop entry lists that interface in
// X-KDE-DBUS-Restricted-Interfaces (Quillo's entry does).
class KWinScreenCapture : public ScreenCapture
{
public:
    static constexpr int timeoutMs = 5000;
    static constexpr qint64 maxBytes = 256LL * 1024 * 1024;

    explicit KWinScreenCapture(std::function<std::vector<Output>()> outputs,
                               QDBusConnection bus = QDBusConnection::sessionBus());

    Expected<ScreenImage, CaptureError> capture(const QRectF& area) override;
    Expected<ScreenImage, CaptureError> captureScreen() override;
    QString mechanism() override { return QStringLiteral("KWin's screenshot interface"); }

private:
    std::function<std::vector<Output>()> m_outputs;
    QDBusConnection m_bus;
};
