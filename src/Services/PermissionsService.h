#pragma once

#include "Platform/PermissionProbe.h"

#include <QObject>
#include <QTimer>

// The two grants that recording and replaying need, re-read on a timer while one of
// them is missing.
class PermissionsService : public QObject
{
    Q_OBJECT
public:
    static constexpr double defaultPollInterval = 2.0;

    explicit PermissionsService(PermissionProbe& probe, QObject* parent = nullptr);

    bool hasAccessibilityPermission() const { return m_accessibility; }
    bool hasInputMonitoringPermission() const { return m_inputMonitoring; }
    bool isPolling() const { return m_pollTimer.isActive(); }
    // What is missing, for the user ("the X server has no RECORD extension").
    QString accessibilityProblem() const { return m_probe.accessibilityProblem(); }
    QString inputMonitoringProblem() const { return m_probe.inputMonitoringProblem(); }
    QString accessibilityCauseKey() const { return m_probe.accessibilityCauseKey(); }
    QString inputMonitoringCauseKey() const { return m_probe.inputMonitoringCauseKey(); }
    QString accessibilityNeedKey() const { return m_probe.accessibilityNeedKey(); }
    QString inputMonitoringNeedKey() const { return m_probe.inputMonitoringNeedKey(); }

    // Reads both grants without asking the user.
    void checkPermissions();
    void requestAccessibilityPermission();
    void requestInputMonitoringPermission();
    // Starts, or restarts, re-reading the grants every `interval` seconds until both are there.
    void startPolling(double interval);
    // What the poll timer does on each tick.
    void pollOnce();

Q_SIGNALS:
    void hasAccessibilityPermissionChanged();
    void hasInputMonitoringPermissionChanged();

private:
    void setAccessibility(bool granted);
    void setInputMonitoring(bool granted);

    PermissionProbe& m_probe;
    bool m_accessibility = false;
    bool m_inputMonitoring = false;
    QTimer m_pollTimer;
};
