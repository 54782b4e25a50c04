#pragma once

#include "Platform/PermissionProbe.h"

#include <QByteArray>

// On X11 nobody grants anything: synthesising input needs the XTEST extension, and
// observing all input needs RECORD and a session that is not Wayland (under XWayland
// RECORD sees only X clients). Without a display, neither is there. Prompts do nothing.
class X11PermissionProbe : public PermissionProbe
{
public:
    explicit X11PermissionProbe(QByteArray displayName = {}) : m_displayName(std::move(displayName)) {}

    bool accessibilityGranted(bool prompt) override;
    bool inputMonitoringGranted() override;
    void requestInputMonitoring() override {}
    QString accessibilityProblem() override;
    QString inputMonitoringProblem() override;
    QString accessibilityCauseKey() override;
    QString inputMonitoringCauseKey() override;
    QString accessibilityNeedKey() const override { return QStringLiteral("banner.replayNeeds.x11"); }
    QString inputMonitoringNeedKey() const override { return QStringLiteral("banner.recordNeeds.x11"); }

    static bool isWaylandSession();

private:
    bool hasExtension(const char* name) const;
    bool hasDisplay() const;

    QByteArray m_displayName;
};
