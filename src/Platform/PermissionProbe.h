#pragma once

// The system grants that recording and replaying need.
class PermissionProbe
{
public:
    virtual ~PermissionProbe() = default;

    // May this process synthesise input? With `prompt`, the system may ask the user.
    virtual bool accessibilityGranted(bool prompt) = 0;
    // May this process observe all input?
    virtual bool inputMonitoringGranted() = 0;
    // Asks the system to let this process observe all input (it may ask the user).
    virtual void requestInputMonitoring() = 0;
};
