#include "device/system/ZarnPSystemBackgroundTaskDao.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/ZarnPSystemTimerDao.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "sim/Device.h"
#include "tests/support/CaseNames.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

using platform::BackgroundTaskIdentifier;

class BackgroundTaskDaoTest : public ::testing::Test {
  protected:
    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timer = std::make_shared<ZarnPSystemTimerDao>(
        platform::timeSource(), platform::mainRunLoop(), platform::current().application);
    std::shared_ptr<ZarnPSystemBackgroundTaskDao> dao = std::make_shared<ZarnPSystemBackgroundTaskDao>(
        timer, platform::current().backgroundTasks, platform::current().application);

    std::vector<BackgroundTaskIdentifier> ends() {
        return env.device->backgroundTasks()->endBackgroundTaskCalls();
    }
    bool running(BackgroundTaskIdentifier id) {
        auto r = env.device->backgroundTasks()->runningBackgroundTasks();
        return std::find(r.begin(), r.end(), id) != r.end();
    }
};

TEST_F(BackgroundTaskDaoTest, ReleasingTheLastReferenceEndsTheTaskOnce) {
    auto task = dao->startBackgroundTask();
    BackgroundTaskIdentifier id = task->identifier();
    EXPECT_NE(id, platform::kBackgroundTaskInvalid);
    EXPECT_TRUE(env.consoleContains("Started background task with id: " + std::to_string(id)));

    auto copy = task;
    task.reset();
    EXPECT_TRUE(running(id)) << "a second holder keeps the task";
    copy.reset();

    EXPECT_FALSE(running(id));
    EXPECT_EQ(ends(), std::vector<BackgroundTaskIdentifier>{id});
    EXPECT_TRUE(env.consoleContains("Ended background task with id: " + std::to_string(id)));
}

// What the expiry path does for the time left when the system announces the end.
struct ExpiryCase {
    double secondsLeft;
    bool endedAtOnce;
    bool killTimer;
};

class BackgroundTaskExpiryTest : public BackgroundTaskDaoTest,
                                 public ::testing::WithParamInterface<ExpiryCase> {};

TEST_P(BackgroundTaskExpiryTest, TimeLeftDecidesBetweenNowLaterAndNever) {
    const auto c = GetParam();
    auto task = dao->startBackgroundTask();
    auto id = task->identifier();

    env.device->application()->expireBackgroundTime(c.secondsLeft);
    env.runUntilIdle();

    EXPECT_TRUE(env.consoleContains("ExpirationHandler called. Time remaining before IOS kills this app: "));
    EXPECT_EQ(!running(id), c.endedAtOnce);
    EXPECT_EQ(
        env.consoleContains("INFO|SystemBackgroundTaskDao| Killing background task: " + std::to_string(id)),
        c.endedAtOnce);
    EXPECT_EQ(dao->activeKillTimerCount(), c.killTimer ? 1u : 0u);
    EXPECT_EQ(env.consoleContains("INFO|SystemBackgroundTaskDao| Background task scheduled for killing: " +
                                  std::to_string(id)),
              c.killTimer);

    if (c.killTimer) {
        env.advanceBy(1.2);
        EXPECT_TRUE(running(id)) << "the kill timer waits 1.25 s";
        env.advanceBy(0.1);
        EXPECT_FALSE(running(id));
        EXPECT_EQ(dao->activeKillTimerCount(), 0u);
    }
    // Releasing the handle afterwards must not end the same task a second time.
    task.reset();
    EXPECT_EQ(ends(), std::vector<BackgroundTaskIdentifier>{id});
    EXPECT_EQ(env.device->backgroundTasks()->invalidEndBackgroundTaskCalls(), 0);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, BackgroundTaskExpiryTest,
                         ::testing::Values(ExpiryCase{0.0, true, false}, ExpiryCase{1.5, true, false},
                                           ExpiryCase{2.0, true, false}, ExpiryCase{2.01, false, true},
                                           ExpiryCase{5.0, false, true}, ExpiryCase{10.0, false, true},
                                           ExpiryCase{10.01, false, false}, ExpiryCase{30.0, false, false}),
                         [](const auto& info) { return test::caseName("Left", info.param.secondsLeft); });

TEST_F(BackgroundTaskDaoTest, ExpiryLineShowsTheTimeLeftAndTheTask) {
    auto task = dao->startBackgroundTask();
    env.device->application()->expireBackgroundTime(5.0);
    env.runUntilIdle();
    EXPECT_TRUE(env.consoleContains(
        "ExpirationHandler called. Time remaining before IOS kills this app: 5.000000 - task: " +
        std::to_string(task->identifier())));
}

TEST_F(BackgroundTaskDaoTest, ReleasingBeforeTheKillTimerEndsOnceAndCancelsTheTimer) {
    auto task = dao->startBackgroundTask();
    auto id = task->identifier();
    env.device->application()->expireBackgroundTime(5.0);
    env.runUntilIdle();
    ASSERT_EQ(dao->activeKillTimerCount(), 1u);

    env.advanceBy(0.5);
    task.reset();
    EXPECT_EQ(dao->activeKillTimerCount(), 0u);
    EXPECT_EQ(ends(), std::vector<BackgroundTaskIdentifier>{id});

    env.advanceBy(2.0);  // past the moment the timer would have fired
    EXPECT_EQ(ends(), std::vector<BackgroundTaskIdentifier>{id});
    EXPECT_EQ(env.device->backgroundTasks()->invalidEndBackgroundTaskCalls(), 0);
}

TEST_F(BackgroundTaskDaoTest, WithPlentyOfTimeLeftTheTaskLivesUntilReleased) {
    auto task = dao->startBackgroundTask();
    auto id = task->identifier();
    env.device->application()->expireBackgroundTime(30.0);
    env.advanceBy(20.0);
    EXPECT_TRUE(running(id));
    task.reset();
    EXPECT_FALSE(running(id));
}

TEST_F(BackgroundTaskDaoTest, RunningOutOfBackgroundTimeEndsTheTaskBeforeTheSystemLimit) {
    // 30 s of background time; the system warns 5 s before the end.
    auto task = dao->startBackgroundTask();
    auto id = task->identifier();
    env.device->application()->enterBackground(30.0, 5.0);

    env.advanceBy(24.9);
    EXPECT_TRUE(running(id));
    env.advanceBy(0.2);  // the warning at 25 s
    EXPECT_TRUE(env.consoleContains("Background task scheduled for killing: " + std::to_string(id)));
    env.advanceBy(1.25);
    EXPECT_FALSE(running(id)) << "ended 1.25 s after the warning";
    env.advanceBy(10.0);  // past the system's limit
    EXPECT_TRUE(env.device->backgroundTasks()->overdueBackgroundTasks().empty());
    EXPECT_TRUE(env.device->backgroundTasks()->backgroundTask(id)->expirationAnnounced);
}

TEST_F(BackgroundTaskDaoTest, ALateWarningEndsTheTaskAtOnce) {
    auto task = dao->startBackgroundTask();
    auto id = task->identifier();
    env.device->application()->enterBackground(10.0, 1.5);
    env.advanceBy(8.6);
    EXPECT_FALSE(running(id));
    EXPECT_TRUE(env.consoleContains("Killing background task: " + std::to_string(id)));
    env.advanceBy(5.0);
    EXPECT_TRUE(env.device->backgroundTasks()->overdueBackgroundTasks().empty());
}

TEST_F(BackgroundTaskDaoTest, ATaskThatIsNeverEndedIsOverdueOnTheDevice) {
    // The simulated device's own check: without this library's expiry path a task outlives the
    // background time.
    auto id = env.device->backgroundTasks()->beginBackgroundTask(nullptr);
    env.device->application()->enterBackground(10.0, 5.0);
    env.advanceBy(11.0);
    EXPECT_EQ(env.device->backgroundTasks()->overdueBackgroundTasks(),
              std::vector<BackgroundTaskIdentifier>{id});
}

TEST_F(BackgroundTaskDaoTest, ARefusedTaskIsNeverEnded) {
    env.device->backgroundTasks()->setRefusesBackgroundTasks(true);
    auto task = dao->startBackgroundTask();
    EXPECT_EQ(task->identifier(), platform::kBackgroundTaskInvalid);
    task.reset();
    EXPECT_TRUE(ends().empty());
}

TEST_F(BackgroundTaskDaoTest, TheHandleKeepsItsDaoAlive) {
    auto task = dao->startBackgroundTask();
    auto id = task->identifier();
    std::weak_ptr<ZarnPSystemBackgroundTaskDao> weak = dao;
    dao.reset();
    EXPECT_FALSE(weak.expired());
    task.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(ends(), std::vector<BackgroundTaskIdentifier>{id});
}

TEST_F(BackgroundTaskDaoTest, SdkThreadReleasesRacingMainThreadExpiryEndEveryTaskOnce) {
    constexpr int kTasks = 40;
    std::vector<std::shared_ptr<ZarnPBackgroundTask>> tasks;
    auto startAll = [&] {
        timer->invokeBlockOnRunLoop(
            [&] {
                for (int i = 0; i < kTasks; ++i) tasks.push_back(dao->startBackgroundTask());
            },
            true);
    };
    auto releaseAllOnSdkThread = [&] {
        timer->invokeBlockOnRunLoop(
            [&] {
                while (!tasks.empty()) tasks.pop_back();
            },
            false);
    };
    // First batch: the main thread schedules kill timers while the SDK thread drops the handles.
    startAll();
    env.device->application()->expireBackgroundTime(5.0);
    releaseAllOnSdkThread();
    env.runUntilIdle();
    env.advanceBy(2.0);
    // Second batch: the main thread ends tasks at once while the SDK thread drops the handles.
    startAll();
    env.device->application()->expireBackgroundTime(1.0);
    releaseAllOnSdkThread();
    env.advanceBy(2.0);

    auto begun = env.device->backgroundTasks()->begunBackgroundTasks();
    ASSERT_EQ(begun.size(), 2u * kTasks);
    auto ended = ends();
    std::sort(ended.begin(), ended.end());
    EXPECT_EQ(ended, begun);
    EXPECT_EQ(env.device->backgroundTasks()->invalidEndBackgroundTaskCalls(), 0);
    EXPECT_EQ(dao->activeKillTimerCount(), 0u);
}

}  // namespace
}  // namespace zarn
