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

    bool accessibility = false;
    bool inputMonitoring = false;

private:
    int m_prompts = 0;
};
