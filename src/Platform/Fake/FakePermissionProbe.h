#pragma once

#include "Platform/PermissionProbe.h"

// Grants that the test sets; counts the prompts it was asked for.
class FakePermissionProbe : public PermissionProbe
{
public:
    bool accessibilityGranted(bool prompt) override
    {
        m_prompts += prompt ? 1 : 0;
        return accessibility;
    }
    bool inputMonitoringGranted() override { return inputMonitoring; }
    void requestInputMonitoring() override { ++m_prompts; }
    int prompts() const { return m_prompts; }
    QString accessibilityCauseKey() override { return causeKey; }
    QString inputMonitoringCauseKey() override { return causeKey; }
    QString accessibilityNeedKey() const override { return needKey; }
    QString inputMonitoringNeedKey() const override { return needKey; }

    bool accessibility = false;
    bool inputMonitoring = false;
    QString causeKey, needKey; // what the window is to say, as keys of the string tables

private:
    int m_prompts = 0;
};
