#pragma once

#include "Platform/ScreenCapture.h"

#include <QDBusConnection>
#include <QString>

// The screen where the desktop offers nothing of its own: the desktop portal's
// Screenshot, without a dialog (`interactive` off). The portal may ask the user once and
// keep the answer, as GNOME's does, or ask each time. Each picture is of the whole screen,
// written by the portal to a file that is read (at most 256 MB), removed, and cut to the
// area; without a layout from the desktop, logical coordinates are taken as its pixels.
class PortalScreenCapture : public ScreenCapture
{
public:
    static constexpr int timeoutMs = 10000;
    static constexpr qint64 maxBytes = 256LL * 1024 * 1024;

    explicit PortalScreenCapture(QDBusConnection bus = QDBusConnection::sessionBus(),
                                 QString service = QStringLiteral("org.freedesktop.portal.Desktop"));

    Expected<ScreenImage, CaptureError> capture(const QRectF& area) override;
    Expected<ScreenImage, CaptureError> captureScreen() override;
    QString mechanism() override { return QStringLiteral("the desktop portal's Screenshot"); }
    bool asksTheUser() const override { return true; }

    // Whether a portal with a Screenshot interface answers on the bus.
    static bool available(QDBusConnection bus = QDBusConnection::sessionBus(),
                          const QString& service = QStringLiteral("org.freedesktop.portal.Desktop"));

private:
    QDBusConnection m_bus;
    QString m_service;
    int m_requests = 0;
};
