#include "core/ZarnPSystemTimerDao.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "sim/Device.h"
#include "testing/VirtualTimeSource.h"
#include "tests/support/CaseNames.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"
#include "zarn/platform/Platform.h"

namespace zarn {
namespace {

using namespace std::chrono_literals;
constexpr auto kSafety = 20s;  // only reached when something hangs

// Forwards to another source and lets a test wait until a condition on the loops holds: every
// post, runner change, stop and loop destruction is a moment to re-check it.
class ObservedTimeSource final : public platform::TimeSource {
  public:
    explicit ObservedTimeSource(std::shared_ptr<platform::TimeSource> inner) : inner_(std::move(inner)) {}

    Date now() override { return inner_->now(); }
    long timeZoneOffsetSeconds(Date date) override { return inner_->timeZoneOffsetSeconds(date); }
    bool drivesTimers() const override { return inner_->drivesTimers(); }
    void wait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
              std::optional<Date> deadline) override {
        inner_->wait(lock, cv, deadline);
    }
    void attach(const std::shared_ptr<platform::RunLoop>& loop) override { inner_->attach(loop); }
    void detach(const platform::RunLoop* loop) override {
        {
            std::lock_guard lk(mutex_);
            detached_.push_back({loop, platform::RunLoop::current() == loop});
        }
        inner_->detach(loop);
        bump();
    }
    void noteActivity() override {
        inner_->noteActivity();
        bump();
    }
    void outsideWorkBegan() override { inner_->outsideWorkBegan(); }
    void outsideWorkEnded() override { inner_->outsideWorkEnded(); }

    uint64_t activity() {
        std::lock_guard lk(mutex_);
        return activity_;
    }
    // Waits until `pred` holds; false when the safety bound ran out. The predicate is re-checked
    // after every activity, including any that happened while it was being evaluated.
    bool waitFor(const std::function<bool()>& pred) {
        auto deadline = std::chrono::steady_clock::now() + kSafety;
        std::unique_lock lk(mutex_);
        for (;;) {
            uint64_t seen = activity_;
            lk.unlock();
            bool ok = pred();
            lk.lock();
            if (ok)
                return true;
            if (!cv_.wait_until(lk, deadline, [&] { return activity_ != seen; }))
                return false;
        }
    }
    bool waitForActivityAfter(uint64_t mark) {
        std::unique_lock lk(mutex_);
        return cv_.wait_for(lk, kSafety, [&] { return activity_ > mark; });
    }
    struct Detach {
        const platform::RunLoop* loop;
        bool whileRunningIt;  // destroyed from inside one of its own passes
    };
    std::vector<Detach> detached() {
        std::lock_guard lk(mutex_);
        return detached_;
    }

  private:
    void bump() {
        {
            std::lock_guard lk(mutex_);
            ++activity_;
        }
        cv_.notify_all();
    }

    std::shared_ptr<platform::TimeSource> inner_;
    std::mutex mutex_;
    std::condition_variable cv_;
    uint64_t activity_ = 0;
    std::vector<Detach> detached_;
};

// A gate a task on the SDK thread can block on while the test arranges something.
struct Gate {
    std::promise<void> entered;
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
    void block() {
        entered.set_value();
        opened.wait_for(kSafety);
    }
};

// Restores a domain level of the shared logger when the test ends.
struct DomainLevel {
    std::string domain;
    DomainLevel(std::string d, int level) : domain(std::move(d)) {
        ZarnPLogger::instance().setLevel(level, domain);
    }
    ~DomainLevel() { ZarnPLogger::instance().setLevel(ZarnPLogLevelUseGlobal, domain); }
};

// Runs `call` on a thread of its own. The future is ready once it returned; a call that never
// returns is left behind, so that the test reports the hang instead of hanging itself.
std::future<void> startDetached(std::function<void()> call) {
    auto done = std::make_shared<std::promise<void>>();
    auto returned = done->get_future();
    std::thread([call = std::move(call), done] {
        call();
        done->set_value();
    }).detach();
    return returned;
}

thread_local int threadMark = 0;  // fresh (0) on every new thread

class TimerDaoTest : public ::testing::Test {
  protected:
    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> dao = std::make_shared<ZarnPSystemTimerDao>(
        platform::timeSource(), platform::mainRunLoop(), platform::current().application);

    void sync() {
        dao->invokeBlockOnRunLoop([] {}, true);
    }
    double elapsed() { return timeIntervalSince1970(env.time->now()) - test::TestEnvironment::kStart; }
};

TEST_F(TimerDaoTest, FirstHopStartsTheThreadAndRunsThere) {
    EXPECT_FALSE(dao->hasRunThread());
    EXPECT_FALSE(dao->isRunThread());
    std::thread::id ranOn;
    bool sawItself = false;
    dao->invokeBlockOnRunLoop(
        [&] {
            ranOn = std::this_thread::get_id();
            sawItself = dao->isRunThread();
        },
        true);
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(sawItself);
    EXPECT_TRUE(dao->hasRunThread());
    EXPECT_FALSE(dao->isRunThread()) << "the caller is not the SDK thread";

    std::promise<std::thread::id> later;
    dao->invokeBlockOnRunLoop([&] { later.set_value(std::this_thread::get_id()); }, false);
    auto f = later.get_future();
    ASSERT_EQ(f.wait_for(kSafety), std::future_status::ready);
    EXPECT_EQ(f.get(), ranOn) << "one serial thread serves every hop";
}

TEST_F(TimerDaoTest, FirstHopWithoutWaitingAlsoStartsTheThread) {
    auto fresh = std::make_shared<ZarnPSystemTimerDao>(platform::timeSource(), platform::mainRunLoop(),
                                                       platform::current().application);
    std::promise<bool> onSdk;
    fresh->invokeBlockOnRunLoop([&] { onSdk.set_value(fresh->isRunThread()); }, false);
    auto f = onSdk.get_future();
    ASSERT_EQ(f.wait_for(kSafety), std::future_status::ready);
    EXPECT_TRUE(f.get());
}

TEST_F(TimerDaoTest, HopsFromTheSdkThreadRunInlineWhenWaitingAndAfterThePassOtherwise) {
    std::vector<std::string> order;  // only touched on the SDK thread
    dao->invokeBlockOnRunLoop(
        [&] {
            order.push_back("outer begins");
            dao->invokeBlockOnRunLoop([&] { order.push_back("queued"); }, false);
            dao->invokeBlockOnRunLoop([&] { order.push_back("waited"); }, true);
            order.push_back("outer ends");
        },
        true);
    sync();
    EXPECT_EQ(order, (std::vector<std::string>{"outer begins", "waited", "outer ends", "queued"}));
}

TEST_F(TimerDaoTest, SelectorHopKeepsItsTargetAliveUntilItRan) {
    struct Target {
        std::promise<std::string> got;
        void take(std::string text, int n) { got.set_value(text + std::to_string(n)); }
    };
    auto target = std::make_shared<Target>();
    auto result = target->got.get_future();
    std::weak_ptr<Target> weak = target;
    Gate gate;
    dao->invokeBlockOnRunLoop([&] { gate.block(); }, false);
    gate.entered.get_future().wait();
    dao->invokeSelectorOnRunLoop(&Target::take, std::move(target), false, std::string("n="), 7);
    EXPECT_FALSE(weak.expired()) << "the queued hop holds the target";
    gate.open.set_value();
    ASSERT_EQ(result.wait_for(kSafety), std::future_status::ready);
    EXPECT_EQ(result.get(), "n=7");
    sync();
    EXPECT_TRUE(weak.expired());
}

TEST(TimerDaoStartTest, HopsRacingBeforeTheThreadExistsStartOneThread) {
    test::TestEnvironment env;
    constexpr int kCallers = 8;
    for (int round = 0; round < 25; ++round) {
        auto dao = std::make_shared<ZarnPSystemTimerDao>(platform::timeSource(), platform::mainRunLoop(),
                                                         platform::current().application);
        int before = env.consoleCount("Scheduled timer for: ZarnPSystemTimerDao");
        std::vector<std::thread::id> ranOn(kCallers);
        std::latch go(kCallers);
        std::vector<std::thread> callers;
        for (int i = 0; i < kCallers; ++i)
            callers.emplace_back([&, i] {
                go.arrive_and_wait();
                dao->invokeBlockOnRunLoop([&ranOn, i] { ranOn[i] = std::this_thread::get_id(); }, i % 2 == 0);
            });
        for (auto& t : callers) t.join();
        dao->invokeBlockOnRunLoop([] {}, true);  // the non-waiting ones have run too
        std::set<std::thread::id> threads(ranOn.begin(), ranOn.end());
        ASSERT_EQ(threads.size(), 1u) << "round " << round;
        ASSERT_EQ(env.consoleCount("Scheduled timer for: ZarnPSystemTimerDao") - before, 1)
            << "one keep-alive timer per thread start, round " << round;
    }
}

TEST_F(TimerDaoTest, WaitingHopIsReleasedWhenItsTaskThrows) {
    auto released = startDetached([d = dao] {
        d->invokeBlockOnRunLoop([] { throw std::runtime_error("bad task"); }, true);
        d->invokeBlockOnRunLoop([] { throw 42; }, true);
    });
    ASSERT_EQ(released.wait_for(kSafety), std::future_status::ready)
        << "the waiting caller was never released";
    // The caller is released as the task unwinds; the line is logged before the next pass.
    bool served = false;
    dao->invokeBlockOnRunLoop([&] { served = true; }, true);
    EXPECT_TRUE(served);
    EXPECT_EQ(env.consoleCount("ERROR|Zarn| Unhandled exception: bad task"), 1);
    EXPECT_EQ(env.consoleCount("ERROR|Zarn| Unhandled exception: "), 2);
    EXPECT_EQ(env.consoleCount("Finished runloop"), 0);
}

TEST(TimerDaoShutdownTest, WaitingHopIsReleasedWhenTheDaoIsDestroyedWithItsTaskQueued) {
    test::TestEnvironment env;
    auto time = std::make_shared<ObservedTimeSource>(std::make_shared<platform::SystemTimeSource>());
    auto dao =
        std::make_shared<ZarnPSystemTimerDao>(time, platform::mainRunLoop(), env.device->application());
    auto loop = dao->runLoop();
    ZarnPSystemTimerDao* raw = dao.get();

    // The SDK thread sits in a task until the destructor stops the loop.
    std::promise<void> blocking;
    dao->invokeBlockOnRunLoop(
        [&] {
            blocking.set_value();
            time->waitFor([&] { return loop->isStopped(); });
        },
        false);
    blocking.get_future().wait();
    uint64_t mark = time->activity();

    auto ran = std::make_shared<std::atomic<bool>>(false);
    auto returned = startDetached([raw, ran] { raw->invokeBlockOnRunLoop([ran] { *ran = true; }, true); });
    ASSERT_TRUE(time->waitForActivityAfter(mark)) << "the waiting hop never queued its task";

    dao.reset();  // stops the loop, joins the thread, drops the queued task
    EXPECT_EQ(returned.wait_for(kSafety), std::future_status::ready)
        << "the waiting caller was never released";
    EXPECT_FALSE(*ran) << "a task dropped at shutdown does not run";
}

TEST(TimerDaoShutdownTest, DestroyedFromItsOwnThreadTheLoopOutlivesTheLastPass) {
    test::TestEnvironment env;
    auto time = std::make_shared<ObservedTimeSource>(env.time);
    auto dao =
        std::make_shared<ZarnPSystemTimerDao>(time, platform::mainRunLoop(), env.device->application());
    const platform::RunLoop* loop = dao->runLoop().get();
    dao->invokeBlockOnRunLoop([] {}, true);

    // The last reference lives in a task: the object dies on the SDK thread when that task is
    // destroyed after it ran.
    Gate gate;
    dao->invokeBlockOnRunLoop([keep = dao, &gate] { gate.block(); }, false);
    gate.entered.get_future().wait();
    dao.reset();
    gate.open.set_value();

    ASSERT_TRUE(time->waitFor([&] { return !time->detached().empty(); })) << "the loop was never destroyed";
    auto detached = time->detached();
    ASSERT_EQ(detached.size(), 1u);
    EXPECT_EQ(detached[0].loop, loop);
    EXPECT_FALSE(detached[0].whileRunningIt)
        << "the loop was freed while its own pass was still on the stack";
}

TEST(TimerDaoRestartTest, FifthExceptionEndsTheThreadAndTheNextHopStartsOneThatServesTheQueue) {
    test::TestEnvironment env;
    auto time = std::make_shared<ObservedTimeSource>(env.time);
    auto dao =
        std::make_shared<ZarnPSystemTimerDao>(time, platform::mainRunLoop(), env.device->application());
    dao->invokeBlockOnRunLoop([] { threadMark = 1; }, true);

    // A timer and a task queued on the first thread's loop must outlive that thread.
    std::shared_ptr<platform::Timer> timer;
    std::atomic<int> timerMark{-1};
    dao->invokeBlockOnRunLoop(
        [&] {
            timer = dao->scheduledTimerWithTimeInterval(
                60, "Survivor", [&] { timerMark = threadMark; }, false);
        },
        true);
    for (int i = 0; i < 5; ++i)
        dao->invokeBlockOnRunLoop([i] { throw std::runtime_error("boom " + std::to_string(i)); }, false);
    // Straight onto the loop, behind the five: a hop would start a new thread if the first one
    // had already ended.
    std::promise<int> survivor;
    dao->runLoop()->post([&] { survivor.set_value(threadMark); });

    ASSERT_TRUE(time->waitFor([&] { return !dao->runLoop()->hasRunner(); })) << "the thread did not end";
    EXPECT_FALSE(dao->hasRunThread());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(env.consoleCount("ERROR|Zarn| Unhandled exception: boom " + std::to_string(i)), 1);
    EXPECT_EQ(env.consoleCount("ERROR|TimerDao| Finished runloop"), 1);
    auto survived = survivor.get_future();
    EXPECT_EQ(survived.wait_for(0s), std::future_status::timeout) << "nothing runs the loop between threads";

    int markOnNext = -1;
    dao->invokeBlockOnRunLoop(
        [&] {
            markOnNext = threadMark;
            threadMark = 2;
        },
        true);
    EXPECT_EQ(markOnNext, 0) << "served by a new thread";
    EXPECT_TRUE(dao->hasRunThread());
    ASSERT_EQ(survived.wait_for(kSafety), std::future_status::ready);
    EXPECT_EQ(survived.get(), 0) << "the queued task ran on the new thread";

    env.advanceBy(60);
    EXPECT_EQ(timerMark.load(), 2) << "the timer fired on the new thread";
    EXPECT_EQ(env.consoleCount("Scheduled timer for: ZarnPSystemTimerDao"), 1) << "keep-alive scheduled once";
    EXPECT_EQ(env.consoleCount("Timeleft: "), 2) << "one keep-alive tick at 30 s and one at 60 s";
}

TEST_F(TimerDaoTest, SchedulingLogsTheTargetAndWarnsOffTheSdkThread) {
    sync();
    std::shared_ptr<platform::Timer> onSdk;
    std::atomic<bool> firedOnSdk{false};
    dao->invokeBlockOnRunLoop(
        [&] {
            onSdk = dao->scheduledTimerWithTimeInterval(
                2.5, "Heartbeat", [&] { firedOnSdk = dao->isRunThread(); }, false);
        },
        true);
    EXPECT_TRUE(env.consoleContains("DEBUG|TimerDao| Scheduled timer for: Heartbeat, interval: 2.500000"));
    EXPECT_EQ(env.consoleCount("Scheduled timer, but not running on designated thread!"), 0);
    EXPECT_DOUBLE_EQ(onSdk->timeInterval(), 2.5);
    EXPECT_FALSE(onSdk->repeats());

    // From the main thread: the timer goes on the main loop and fires there.
    std::thread::id mainFiredOn;
    auto onMain = dao->scheduledTimerWithTimeInterval(
        1.0, "Banner", [&] { mainFiredOn = std::this_thread::get_id(); }, true);
    EXPECT_EQ(env.consoleCount("INFO|TimerDao| Scheduled timer, but not running on designated thread!"), 1);
    EXPECT_TRUE(onMain->repeats());

    // From a thread without a loop: the timer goes on the SDK loop.
    std::shared_ptr<platform::Timer> fromPlain;
    std::atomic<bool> plainFiredOnSdk{false};
    std::thread([&] {
        fromPlain = dao->scheduledTimerWithTimeInterval(
            2.0, "Plain", [&] { plainFiredOnSdk = dao->isRunThread(); }, false);
    }).join();
    EXPECT_EQ(env.consoleCount("INFO|TimerDao| Scheduled timer, but not running on designated thread!"), 2);

    env.advanceBy(3);
    EXPECT_TRUE(firedOnSdk);
    EXPECT_TRUE(plainFiredOnSdk);
    EXPECT_EQ(mainFiredOn, std::this_thread::get_id());
    onMain->invalidate();
}

TEST_F(TimerDaoTest, TimersFireInVirtualTimeOrderAcrossTheSdkAndMainLoops) {
    std::mutex mutex;
    std::vector<std::string> fired;
    auto record = [&](std::string name, bool expectSdk) {
        return [&, name, expectSdk] {
            std::string where = dao->isRunThread() == expectSdk ? "" : " (wrong thread)";
            std::lock_guard lk(mutex);
            fired.push_back(name + "@" + std::to_string(static_cast<int>(elapsed())) + where);
        };
    };
    std::shared_ptr<platform::Timer> repeating;
    dao->invokeBlockOnRunLoop(
        [&] {
            repeating = dao->scheduledTimerWithTimeInterval(12, "Repeat", record("sdk-repeat", true), true);
            dao->scheduledTimerWithTimeInterval(20, "Once", record("sdk-once", true), false);
        },
        true);
    dao->scheduledTimerWithTimeInterval(10, "Main", record("main", false), false);
    dao->scheduledTimerWithTimeInterval(35, "Main", record("main", false), false);

    env.advanceBy(40);
    repeating->invalidate();
    env.advanceBy(40);
    std::lock_guard lk(mutex);
    EXPECT_EQ(fired, (std::vector<std::string>{"main@10", "sdk-repeat@12", "sdk-once@20", "sdk-repeat@24",
                                               "main@35", "sdk-repeat@36"}));
}

TEST_F(TimerDaoTest, TimerInvalidatedFromAnotherThreadNeverFires) {
    std::atomic<int> fired{0};
    std::shared_ptr<platform::Timer> byHelper, byMainTimer;
    dao->invokeBlockOnRunLoop(
        [&] {
            byHelper = dao->scheduledTimerWithTimeInterval(
                5, "A", [&] { ++fired; }, true);
            byMainTimer = dao->scheduledTimerWithTimeInterval(
                20, "B", [&] { ++fired; }, false);
        },
        true);
    std::thread([&] { byHelper->invalidate(); }).join();
    dao->scheduledTimerWithTimeInterval(
        10, "Canceller", [&] { byMainTimer->invalidate(); }, false);
    env.advanceBy(60);
    EXPECT_EQ(fired.load(), 0);
}

TEST_F(TimerDaoTest, MainThreadHops) {
    // Waiting from the main thread itself: inline.
    bool inlineRan = false;
    dao->invokeBlockOnMainThread([&] { inlineRan = true; }, true);
    EXPECT_TRUE(inlineRan);

    // Not waiting, from the SDK thread: queued until the main thread runs its loop.
    std::atomic<bool> queuedRan{false};
    std::thread::id queuedOn;
    dao->invokeBlockOnRunLoop(
        [&] {
            dao->invokeBlockOnMainThread(
                [&] {
                    queuedOn = std::this_thread::get_id();
                    queuedRan = true;
                },
                false);
        },
        true);
    EXPECT_FALSE(queuedRan);
    env.runUntilIdle();
    EXPECT_TRUE(queuedRan);
    EXPECT_EQ(queuedOn, std::this_thread::get_id());

    // Waiting, from another thread: blocks until the main loop ran the block.
    auto waitedOn = std::make_shared<std::thread::id>();
    auto returned = startDetached([d = dao, waitedOn] {
        d->invokeBlockOnMainThread([waitedOn] { *waitedOn = std::this_thread::get_id(); }, true);
    });
    {
        auto main = platform::mainRunLoop();
        platform::RunLoop::RunnerScope scope(*main);
        main->runOnce();  // blocks until the other thread's block arrives
    }
    ASSERT_EQ(returned.wait_for(kSafety), std::future_status::ready)
        << "the waiting caller was never released";
    EXPECT_EQ(*waitedOn, std::this_thread::get_id());
}

TEST_F(TimerDaoTest, SelectorOnMainThreadRunsTheTargetThere) {
    struct Target {
        std::thread::id on;
        int value = 0;
        void set(int v) {
            on = std::this_thread::get_id();
            value = v;
        }
    };
    auto target = std::make_shared<Target>();
    dao->invokeBlockOnRunLoop([&] { dao->invokeSelectorOnMainThread(&Target::set, target, false, 5); }, true);
    EXPECT_EQ(target->value, 0);
    env.runUntilIdle();
    EXPECT_EQ(target->value, 5);
    EXPECT_EQ(target->on, std::this_thread::get_id());
}

struct KeepAliveCase {
    platform::ApplicationState state;
    double remaining;
    const char* line;
};

class KeepAliveTest : public ::testing::TestWithParam<KeepAliveCase> {};

TEST_P(KeepAliveTest, TickLogsRemainingTimeAndStateOnTheMainThread) {
    test::TestEnvironment env;
    env.device->application()->setApplicationState(GetParam().state);
    env.device->application()->setBackgroundTimeRemaining(GetParam().remaining);
    auto dao = std::make_shared<ZarnPSystemTimerDao>(platform::timeSource(), platform::mainRunLoop(),
                                                     platform::current().application);
    dao->invokeBlockOnRunLoop([] {}, true);
    env.advanceBy(29);
    EXPECT_EQ(env.consoleCount("Timeleft:"), 0);
    env.advanceBy(1);
    EXPECT_EQ(env.consoleCount(std::string("DEBUG|TimerDao| ") + GetParam().line), 1);
    EXPECT_EQ(env.consoleCount("Timeleft:"), 1);
}

INSTANTIATE_TEST_SUITE_P(States, KeepAliveTest,
                         ::testing::Values(KeepAliveCase{platform::ApplicationState::Active,
                                                         1.7976931348623157e308,
                                                         "Timeleft: inf - State: Active"},
                                           KeepAliveCase{platform::ApplicationState::Active, 1e7 + 1,
                                                         "Timeleft: inf - State: Active"},
                                           KeepAliveCase{platform::ApplicationState::Inactive, 1e7,
                                                         "Timeleft: 10000000.000000 - State: Inactive"},
                                           KeepAliveCase{platform::ApplicationState::Background, 42.5,
                                                         "Timeleft: 42.500000 - State: Background"},
                                           KeepAliveCase{static_cast<platform::ApplicationState>(7), 0,
                                                         "Timeleft: 0.000000 - State: Background"}),
                         [](const auto& info) {
                             return test::caseName("State", static_cast<int>(info.param.state), "Left",
                                                   info.param.remaining);
                         });

TEST_F(TimerDaoTest, KeepAliveLogsNothingWithDebugOffForTheDomain) {
    DomainLevel quiet("TimerDao", ZarnPLogLevelInfo);
    sync();
    env.advanceBy(95);
    EXPECT_EQ(env.consoleCount("Timeleft:"), 0);
    dao->logInfo();
    EXPECT_EQ(env.consoleCount("Timeleft:"), 0);
}

TEST_F(TimerDaoTest, LogInfoOnTheMainThreadLogsAtOnceAndOffItHopsThere) {
    env.device->application()->setApplicationState(platform::ApplicationState::Background);
    env.device->application()->setBackgroundTimeRemaining(170);
    dao->logInfo();
    EXPECT_EQ(env.consoleCount("Timeleft: 170.000000 - State: Background"), 1);
    dao->invokeBlockOnRunLoop([&] { dao->logInfo(); }, true);
    EXPECT_EQ(env.consoleCount("Timeleft: 170.000000 - State: Background"), 1) << "not on the SDK thread";
    env.runUntilIdle();
    EXPECT_EQ(env.consoleCount("Timeleft: 170.000000 - State: Background"), 2);
}

// The clock.

struct ClockCase {
    double seconds;
    long offset;
    int64_t expected;
};

class ClockTest : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ClockTest, LocalMillisecondsAreTruncatedTowardZeroIn64Bits) {
    auto time = std::make_shared<platform::VirtualTimeSource>(
        dateWithTimeIntervalSince1970(GetParam().seconds), GetParam().offset);
    ZarnPSystemClockDao clock(time);
    EXPECT_EQ(timeIntervalSince1970(clock.now()), GetParam().seconds);
    EXPECT_EQ(clock.nowWithTimeZoneOffsetMilliseconds(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Zones, ClockTest,
                         ::testing::Values(ClockCase{1796126400.0, 7200, 1796133600000LL},    // GMT+2
                                           ClockCase{1796126400.0, -18000, 1796108400000LL},  // GMT-5
                                           ClockCase{1796126400.0, 0, 1796126400000LL},
                                           ClockCase{4102444800.25, 3600, 4102448400250LL},  // past 2^32 s
                                           ClockCase{1796126400.0015, 0, 1796126400001LL},
                                           ClockCase{-0.0015, 0, -1LL},  // toward zero
                                           ClockCase{-3.5, 3600, 3596500LL}),
                         [](const auto& info) {
                             return test::caseName("At", info.param.seconds, "Offset", info.param.offset);
                         });

TEST(ClockZoneTest, GmtPlusTwoAddsTwoHoursToUtcMilliseconds) {
    test::TestEnvironment env(7200);
    ZarnPSystemClockDao clock{platform::timeSource()};  // the installed source
    int64_t utc = static_cast<int64_t>(timeIntervalSince1970(clock.now()) * 1000);
    EXPECT_EQ(clock.nowWithTimeZoneOffsetMilliseconds(), utc + 7200000);
    EXPECT_GT(clock.nowWithTimeZoneOffsetMilliseconds(), int64_t{1} << 31);
    env.advanceBy(86400.5);
    EXPECT_EQ(clock.nowWithTimeZoneOffsetMilliseconds(), utc + 86400500 + 7200000);
}

TEST(ClockZoneTest, FollowsTheZoneRuleAtTheCurrentDate) {
    test::TestEnvironment env;
    double change = test::TestEnvironment::kStart + 3600;
    env.time->setTimeZoneRule([change](Date d) { return timeIntervalSince1970(d) < change ? 3600L : 7200L; });
    ZarnPSystemClockDao clock{platform::timeSource()};
    int64_t start = static_cast<int64_t>(test::TestEnvironment::kStart) * 1000;
    EXPECT_EQ(clock.nowWithTimeZoneOffsetMilliseconds(), start + 3600000);
    env.advanceBy(3600);
    EXPECT_EQ(clock.nowWithTimeZoneOffsetMilliseconds(), start + 3600000 + 7200000);
}

}  // namespace
}  // namespace zarn
