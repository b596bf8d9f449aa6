#include "sim/Device.h"

#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

TEST(SimDeviceTest, BackgroundTimeRunsDownAndTheWarningReachesOnlyRunningTasks) {
    test::TestEnvironment env;
    auto& device = *env.device;
    int warnedA = 0, warnedB = 0;
    auto a = device.beginBackgroundTask([&] { ++warnedA; });
    auto b = device.beginBackgroundTask([&] { ++warnedB; });
    EXPECT_NE(a, b);
    device.enterBackground(30.0, 5.0);
    env.advanceBy(10.0);
    EXPECT_DOUBLE_EQ(device.backgroundTimeRemaining(), 20.0);
    device.endBackgroundTask(b);
    env.advanceBy(16.0);
    EXPECT_EQ(warnedA, 1);
    EXPECT_EQ(warnedB, 0) << "an ended task hears nothing";
    env.advanceBy(5.0);
    EXPECT_EQ(device.backgroundTimeRemaining(), 0.0);
    EXPECT_EQ(device.overdueBackgroundTasks(), std::vector<platform::BackgroundTaskIdentifier>{a});
    EXPECT_EQ(device.beginBackgroundTask(nullptr), platform::kBackgroundTaskInvalid) << "no time left";

    device.endBackgroundTask(b);
    EXPECT_EQ(device.invalidEndBackgroundTaskCalls(), 1);
}

TEST(SimDeviceTest, ComingToTheForegroundEndsTheBackgroundPeriod) {
    test::TestEnvironment env;
    auto& device = *env.device;
    int warned = 0;
    device.beginBackgroundTask([&] { ++warned; });
    device.enterBackground(10.0, 5.0);
    env.advanceBy(2.0);
    device.setApplicationState(platform::ApplicationState::Active);
    env.advanceBy(20.0);
    EXPECT_EQ(warned, 0);
    EXPECT_TRUE(device.overdueBackgroundTasks().empty());
    EXPECT_GT(device.backgroundTimeRemaining(), 1e7);
}

TEST(SimDeviceTest, BatteryIsUnknownUntilMonitored) {
    test::TestEnvironment env;
    env.device->setBattery(0.5, platform::BatteryState::Charging);
    EXPECT_EQ(env.device->batteryLevel(), -1.0);
    EXPECT_EQ(env.device->batteryState(), platform::BatteryState::Unknown);
    env.device->setBatteryMonitoringEnabled(true);
    EXPECT_EQ(env.device->batteryLevel(), 0.5);
    EXPECT_EQ(env.device->batteryState(), platform::BatteryState::Charging);
}

TEST(SimDeviceTest, NotificationSettingsAreAnsweredLaterOnTheMainLoop) {
    test::TestEnvironment env;
    std::optional<platform::NotificationAuthorizationStatus> answer;
    env.device->setNotificationAuthorizationStatus(platform::NotificationAuthorizationStatus::Denied);
    env.device->getNotificationSettings([&](auto status) { answer = status; });
    EXPECT_FALSE(answer);
    env.runUntilIdle();
    EXPECT_EQ(answer, platform::NotificationAuthorizationStatus::Denied);
    EXPECT_EQ(env.device->notificationSettingsRequests(), 1);
}

}  // namespace
}  // namespace zarn
