#include "Platform/Fake/FakePermissionProbe.h"
#include "Services/PermissionsService.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

TEST(PermissionsService, PollsWhileAGrantIsMissingAndStopsOnceBothAreThere)
{
    FakePermissionProbe probe;
    PermissionsService service(probe);
    probe.accessibility = true;
    service.checkPermissions();
    EXPECT_TRUE(service.hasAccessibilityPermission());
    EXPECT_FALSE(service.hasInputMonitoringPermission()); // never asked reads as missing
    EXPECT_FALSE(service.isPolling());

    QSignalSpy changed(&service, &PermissionsService::hasInputMonitoringPermissionChanged);
    service.requestInputMonitoringPermission();
    EXPECT_EQ(probe.prompts(), 1);
    EXPECT_TRUE(service.isPolling());
    service.pollOnce();
    EXPECT_TRUE(service.isPolling());
    probe.inputMonitoring = true;
    service.pollOnce();
    EXPECT_FALSE(service.isPolling());
    EXPECT_TRUE(service.hasInputMonitoringPermission());
    EXPECT_EQ(changed.size(), 1);
}

TEST(PermissionsService, RepeatedRequestsKeepOneTimer)
{
    FakePermissionProbe probe;
    PermissionsService service(probe);
    probe.inputMonitoring = true;
    service.requestAccessibilityPermission();
    service.requestAccessibilityPermission();
    EXPECT_EQ(probe.prompts(), 2);
    EXPECT_TRUE(service.isPolling());
    EXPECT_FALSE(service.hasInputMonitoringPermission()); // a request touches only its own flag
    probe.accessibility = true;
    service.requestAccessibilityPermission();
    EXPECT_TRUE(service.hasAccessibilityPermission());
    service.pollOnce();
    EXPECT_FALSE(service.isPolling());
}
