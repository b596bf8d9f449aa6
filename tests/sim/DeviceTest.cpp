#include "sim/Device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <thread>
#include <vector>

#include "core/ZarnPSystemTimerDao.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

TEST(SimDeviceTest, BackgroundTimeRunsDownAndTheWarningReachesOnlyRunningTasks) {
    test::TestEnvironment env;
    auto& device = *env.device;
    int warnedA = 0, warnedB = 0;
    auto a = device.backgroundTasks()->beginBackgroundTask([&] { ++warnedA; });
    auto b = device.backgroundTasks()->beginBackgroundTask([&] { ++warnedB; });
    EXPECT_NE(a, b);
    device.application()->enterBackground(30.0, 5.0);
    env.advanceBy(10.0);
    EXPECT_DOUBLE_EQ(device.application()->backgroundTimeRemaining(), 20.0);
    device.backgroundTasks()->endBackgroundTask(b);
    env.advanceBy(16.0);
    EXPECT_EQ(warnedA, 1);
    EXPECT_EQ(warnedB, 0) << "an ended task hears nothing";
    env.advanceBy(5.0);
    EXPECT_EQ(device.application()->backgroundTimeRemaining(), 0.0);
    EXPECT_EQ(device.backgroundTasks()->overdueBackgroundTasks(),
              std::vector<platform::BackgroundTaskIdentifier>{a});
    EXPECT_EQ(device.backgroundTasks()->beginBackgroundTask(nullptr), platform::kBackgroundTaskInvalid)
        << "no time left";

    device.backgroundTasks()->endBackgroundTask(b);
    EXPECT_EQ(device.backgroundTasks()->invalidEndBackgroundTaskCalls(), 1);
}

TEST(SimDeviceTest, ComingToTheForegroundEndsTheBackgroundPeriod) {
    test::TestEnvironment env;
    auto& device = *env.device;
    int warned = 0;
    device.backgroundTasks()->beginBackgroundTask([&] { ++warned; });
    device.application()->enterBackground(10.0, 5.0);
    env.advanceBy(2.0);
    device.application()->setApplicationState(platform::ApplicationState::Active);
    env.advanceBy(20.0);
    EXPECT_EQ(warned, 0);
    EXPECT_TRUE(device.backgroundTasks()->overdueBackgroundTasks().empty());
    EXPECT_GT(device.application()->backgroundTimeRemaining(), 1e7);
}

TEST(SimDeviceTest, BatteryIsUnknownUntilMonitored) {
    test::TestEnvironment env;
    env.device->battery()->setBattery(0.5, platform::BatteryState::Charging);
    EXPECT_EQ(env.device->battery()->batteryLevel(), -1.0);
    EXPECT_EQ(env.device->battery()->batteryState(), platform::BatteryState::Unknown);
    env.device->battery()->setBatteryMonitoringEnabled(true);
    EXPECT_EQ(env.device->battery()->batteryLevel(), 0.5);
    EXPECT_EQ(env.device->battery()->batteryState(), platform::BatteryState::Charging);
}

TEST(SimDeviceTest, NotificationSettingsAreAnsweredLaterOnTheMainLoop) {
    test::TestEnvironment env;
    std::optional<platform::NotificationAuthorizationStatus> answer;
    env.device->notificationAuthorization()->setNotificationAuthorizationStatus(
        platform::NotificationAuthorizationStatus::Denied);
    env.device->notificationAuthorization()->getNotificationSettings([&](auto status) { answer = status; });
    EXPECT_FALSE(answer);
    env.runUntilIdle();
    EXPECT_EQ(answer, platform::NotificationAuthorizationStatus::Denied);
    EXPECT_EQ(env.device->notificationAuthorization()->notificationSettingsRequests(), 1);
}

using platform::BackgroundTaskIdentifier;
using Ids = std::vector<BackgroundTaskIdentifier>;

TEST(SimDeviceTest, FacilitiesBuiltOverTheDevicesWorldShareItsBackgroundPeriod) {
    test::TestEnvironment env;
    auto& device = *env.device;
    // A second application and a second task facility, joined to the device's world.
    auto otherApp = std::make_shared<sim::SimApplication>(device.world());
    auto otherTasks = std::make_shared<sim::SimBackgroundTasks>(device.world());
    int warnedA = 0, warnedX = 0, warnedLate = 0;
    auto a = device.backgroundTasks()->beginBackgroundTask([&] { ++warnedA; });
    auto x = otherTasks->beginBackgroundTask([&] { ++warnedX; });

    otherApp->enterBackground(20.0, 5.0);
    EXPECT_EQ(device.application()->applicationState(), platform::ApplicationState::Background);
    env.advanceBy(10.0);
    EXPECT_DOUBLE_EQ(device.application()->backgroundTimeRemaining(), 10.0);
    env.advanceBy(6.0);
    EXPECT_EQ(warnedA, 1);
    EXPECT_EQ(warnedX, 1) << "the warning reaches every facility of the world";
    auto late = device.backgroundTasks()->beginBackgroundTask([&] { ++warnedLate; });
    env.runUntilIdle();
    EXPECT_EQ(warnedLate, 1) << "a task begun after the warning hears it at once";

    otherTasks->endBackgroundTask(x);
    env.advanceBy(5.0);
    EXPECT_EQ(device.backgroundTasks()->overdueBackgroundTasks(), (Ids{a, late}));
    EXPECT_TRUE(otherTasks->overdueBackgroundTasks().empty());
    EXPECT_EQ(otherTasks->beginBackgroundTask(nullptr), platform::kBackgroundTaskInvalid);

    // Coming back through the device's application ends the period for the other facilities too.
    device.application()->becomeActive();
    EXPECT_GT(otherApp->backgroundTimeRemaining(), 1e7);
    EXPECT_NE(otherTasks->beginBackgroundTask(nullptr), platform::kBackgroundTaskInvalid);
    EXPECT_EQ(warnedA + warnedX + warnedLate, 3) << "each handler ran once";
}

// One odd behaviour: a system that still reports the foreground's time left after the app went
// to the background. The rest is the simulated application, over the device's world.
class StaleTimeApplication final : public sim::SimApplication {
  public:
    using SimApplication::SimApplication;
    double backgroundTimeRemaining() override { return sim::AppLifecycle::kUnlimited; }
};

TEST(SimDeviceTest, AWrappedFacilityChangesOneAnswerAndKeepsTheSharedWorld) {
    test::TestEnvironment env;
    auto stale = std::make_shared<StaleTimeApplication>(env.device->world());
    auto timer =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    auto dao = std::make_shared<ZarnPSystemBackgroundTaskDao>(timer, env.device->backgroundTasks(), stale);
    auto task = dao->startBackgroundTask();
    auto id = task->identifier();

    stale->enterBackground(30.0, 5.0);
    EXPECT_EQ(env.device->application()->applicationState(), platform::ApplicationState::Background);
    env.advanceBy(25.5);
    EXPECT_TRUE(env.device->backgroundTasks()->backgroundTask(id)->expirationAnnounced);
    EXPECT_TRUE(env.consoleContains("ExpirationHandler called."));
    EXPECT_FALSE(env.consoleContains("Background task scheduled for killing"))
        << "the library trusts the time it is told";
    env.advanceBy(5.0);
    EXPECT_EQ(env.device->backgroundTasks()->overdueBackgroundTasks(), Ids{id});
    EXPECT_EQ(env.device->application()->backgroundTimeRemaining(), 0.0) << "the device's own answer";

    task.reset();
    EXPECT_EQ(env.device->backgroundTasks()->endBackgroundTaskCalls(), Ids{id});
    EXPECT_EQ(env.device->backgroundTasks()->invalidEndBackgroundTaskCalls(), 0);
}

TEST(SimDeviceTest, TasksBegunOnOtherThreadsWhileTheWarningGoesOutHearItExactlyOnce) {
    test::TestEnvironment env;
    auto tasks = env.device->backgroundTasks();
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::vector<int> heard(kThreads * kEach, 0);  // touched by the main loop only, after the joins
    std::latch start(kThreads + 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kEach; ++i) {
                int n = t * kEach + i;
                tasks->beginBackgroundTask([&heard, n] { ++heard[n]; });
            }
        });
    start.arrive_and_wait();
    env.device->application()->expireBackgroundTime(10.0);
    for (auto& t : threads) t.join();
    env.runUntilIdle();

    EXPECT_EQ(tasks->begunBackgroundTasks().size(), heard.size());
    EXPECT_EQ(std::count(heard.begin(), heard.end(), 1), static_cast<long>(heard.size()));
    for (auto id : tasks->begunBackgroundTasks()) EXPECT_TRUE(tasks->backgroundTask(id)->expirationAnnounced);
}

}  // namespace
}  // namespace zarn
