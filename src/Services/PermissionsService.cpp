#include "Services/PermissionsService.h"

#include <cmath>

PermissionsService::PermissionsService(PermissionProbe& probe, QObject* parent)
    : QObject(parent), m_probe(probe)
{
    connect(&m_pollTimer, &QTimer::timeout, this, &PermissionsService::pollOnce);
}

void PermissionsService::setAccessibility(bool granted)
{
    if (m_accessibility == granted)
        return;
    m_accessibility = granted;
    Q_EMIT hasAccessibilityPermissionChanged();
}

void PermissionsService::setInputMonitoring(bool granted)
{
    if (m_inputMonitoring == granted)
        return;
    m_inputMonitoring = granted;
    Q_EMIT hasInputMonitoringPermissionChanged();
}

void PermissionsService::checkPermissions()
{
    setAccessibility(m_probe.accessibilityGranted(false));
    setInputMonitoring(m_probe.inputMonitoringGranted());
}

void PermissionsService::requestAccessibilityPermission()
{
    setAccessibility(m_probe.accessibilityGranted(true));
    if (!m_accessibility)
        startPolling(defaultPollInterval);
}

void PermissionsService::requestInputMonitoringPermission()
{
    m_probe.requestInputMonitoring();
    setInputMonitoring(m_probe.inputMonitoringGranted());
    if (!m_inputMonitoring)
        startPolling(defaultPollInterval);
}

void PermissionsService::startPolling(double interval)
{
    m_pollTimer.stop();
    m_pollTimer.setInterval(int(std::lround(interval * 1000)));
    m_pollTimer.start();
}

void PermissionsService::pollOnce()
{
    checkPermissions();
    if (m_accessibility && m_inputMonitoring)
        m_pollTimer.stop();
}
