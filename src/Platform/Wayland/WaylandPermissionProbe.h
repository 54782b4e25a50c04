#pragma once

#include "Platform/PermissionProbe.h"

#include <QString>

// Under Wayland both recording and replay go through the input helper: it is "granted"
// when the helper answers and accepts this user; the problem says what is missing and
// the command that fixes it.
class WaylandPermissionProbe : public PermissionProbe
{
public:
    explicit WaylandPermissionProbe(QString socketPath = {});

    bool accessibilityGranted(bool prompt) override;
    bool inputMonitoringGranted() override;
    void requestInputMonitoring() override {}
    QString accessibilityProblem() override { return m_problem; }
    QString inputMonitoringProblem() override { return m_problem; }
    QString accessibilityCauseKey() override { return m_causeKey; }
    QString inputMonitoringCauseKey() override { return m_causeKey; }
    QString accessibilityNeedKey() const override { return QStringLiteral("banner.needs.wayland"); }
    QString inputMonitoringNeedKey() const override { return QStringLiteral("banner.needs.wayland"); }

private:
    bool check();

    QString m_socketPath;
    QString m_problem;
    QString m_causeKey;
};
