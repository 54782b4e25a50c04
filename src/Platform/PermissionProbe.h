#pragma once

#include <QString>

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
    // What is missing, in a few words for the user, when the grant is not there.
    virtual QString accessibilityProblem() { return QStringLiteral("input cannot be synthesised"); }
    virtual QString inputMonitoringProblem() { return QStringLiteral("input cannot be observed"); }
    // The same causes for the window: keys of the string tables ("cause.…"), and what
    // replaying and recording need here ("banner.…Needs…"); empty where none applies.
    virtual QString accessibilityCauseKey() { return {}; }
    virtual QString inputMonitoringCauseKey() { return {}; }
    virtual QString accessibilityNeedKey() const { return {}; }
    virtual QString inputMonitoringNeedKey() const { return {}; }
};
