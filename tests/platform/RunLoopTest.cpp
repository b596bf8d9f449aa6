#include "zarn/platform/RunLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <latch>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testing/VirtualTimeSource.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn::platform {
namespace {

using namespace std::chrono_literals;
constexpr auto kSafety = 20s;  // only reached when something hangs

// A loop run by a thread of its own until the object goes away.
class LoopThread {
  public:
    LoopThread(std::shared_ptr<TimeSource> time, std::string name)
        : loop(RunLoop::create(std::move(time), name)) {
        thread_ = std::thread([l = loop] { l->run(); });
        // Once a task has run, the runner is registered and virtual time waits for this loop.
        std::promise<void> running;
        loop->post([&running] { running.set_value(); });
        running.get_future().wait();
    }
    ~LoopThread() {
        loop->stop();
        thread_.join();
    }
    LoopThread(const LoopThread&) = delete;
    LoopThread& operator=(const LoopThread&) = delete;

    std::thread::id id() const { return thread_.get_id(); }

    std::shared_ptr<RunLoop> loop;

  private:
    std::thread thread_;
};

// Firings recorded by timers on several loops: which timer, at what virtual time, on which loop.
struct Firings {
    struct Firing {
        std::string name;
        double at;
        bool onOwnLoop;
    };
    std::mutex mutex;
    std::vector<Firing> list;

    std::function<void()> recorder(std::string name, VirtualTimeSource& time, RunLoop& loop) {
        return [this, name = std::move(name), &time, &loop] {
            std::lock_guard lk(mutex);
            list.push_back(
                {name, timeIntervalSince1970(time.now()) - test::TestEnvironment::kStart, loop.isCurrent()});
        };
    }
    std::vector<std::string> names() {
        std::lock_guard lk(mutex);
        std::vector<std::string> out;
        for (auto& f : list) out.push_back(f.name + "@" + std::to_string(static_cast<int>(f.at)));
        return out;
    }
};

TEST(RunLoopTest, TasksFromManyThreadsKeepEachPostersOrder) {
    auto time = std::make_shared<SystemTimeSource>();
    LoopThread runner(time, "serial");
    constexpr int kPosters = 4, kEach = 250;
    std::vector<std::vector<int>> seen(kPosters);  // touched only on the loop's thread
    std::latch go(kPosters);
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p)
        posters.emplace_back([&, p] {
            go.arrive_and_wait();
            for (int i = 0; i < kEach; ++i) runner.loop->post([&seen, p, i] { seen[p].push_back(i); });
        });
    for (auto& t : posters) t.join();
    std::promise<void> drained;
    runner.loop->post([&] { drained.set_value(); });
    ASSERT_EQ(drained.get_future().wait_for(kSafety), std::future_status::ready);
    for (int p = 0; p < kPosters; ++p) {
        ASSERT_EQ(seen[p].size(), static_cast<size_t>(kEach)) << "poster " << p;
        for (int i = 0; i < kEach; ++i) ASSERT_EQ(seen[p][i], i) << "poster " << p;
    }
}

TEST(RunLoopTest, RunOnceWithALimitInThePastDoesNotWait) {
    auto loop = RunLoop::create(std::make_shared<SystemTimeSource>(), "probe");
    EXPECT_FALSE(loop->runOnce(Date{}));
    int ran = 0;
    loop->post([&] { ++ran; });
    loop->post([&] { ++ran; });
    EXPECT_TRUE(loop->runOnce(Date{}));
    EXPECT_EQ(ran, 1) << "one task per pass";
    EXPECT_TRUE(loop->runOnce(Date{}));
    EXPECT_FALSE(loop->runOnce(Date{}));
    EXPECT_EQ(ran, 2);
}

TEST(RunLoopTest, AThrowingTaskPropagatesAndIsGone) {
    auto loop = RunLoop::create(std::make_shared<SystemTimeSource>(), "throws");
    auto capture = std::make_shared<int>(0);
    loop->post([capture] { throw std::runtime_error("task failed"); });
    bool after = false;
    loop->post([&] { after = true; });
    EXPECT_THROW(loop->runOnce(Date{}), std::runtime_error);
    EXPECT_EQ(capture.use_count(), 1) << "the thrown task's captures are released";
    EXPECT_TRUE(loop->runOnce(Date{}));
    EXPECT_TRUE(after);
    EXPECT_FALSE(loop->runOnce(Date{}));
}

TEST(RunLoopTest, ClearDropsQueuedTasksAndInvalidatesTimers) {
    auto loop = RunLoop::create(std::make_shared<SystemTimeSource>(), "clear");
    auto capture = std::make_shared<int>(0);
    bool ran = false;
    loop->post([capture, &ran] { ran = true; });
    auto timer = loop->addTimer(0, false, [&ran] { ran = true; });
    EXPECT_EQ(capture.use_count(), 2);
    loop->clear();
    EXPECT_EQ(capture.use_count(), 1) << "dropped tasks are destroyed at once";
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(loop->timerCount(), 0u);
    EXPECT_FALSE(loop->runOnce(Date{}));
    EXPECT_FALSE(ran);
}

TEST(RunLoopTest, StopWakesABlockedRunner) {
    auto loop = RunLoop::create(std::make_shared<SystemTimeSource>(), "stop");
    std::promise<void> entered;
    auto finished = std::async(std::launch::async, [&] {
        loop->post([&] { entered.set_value(); });
        loop->run();
    });
    entered.get_future().wait();
    loop->stop();
    ASSERT_EQ(finished.wait_for(kSafety), std::future_status::ready);
    EXPECT_TRUE(loop->isStopped());
    EXPECT_FALSE(loop->runOnce()) << "a stopped loop answers at once";
    loop->resume();
    loop->post([] {});
    EXPECT_TRUE(loop->runOnce(Date{}));
}

// A host whose thread belongs to a toolkit: the wake-up handler only queues a drain request in
// the toolkit's own queue, and the toolkit's thread runs what is ready. Nothing polls.
TEST(RunLoopTest, WakeUpHandlerLetsAToolkitThreadRunTheLoopWithoutPolling) {
    auto loop = RunLoop::create(std::make_shared<SystemTimeSource>(), "main");
    std::mutex mutex;
    std::condition_variable cv;
    int drainRequests = 0, ran = 0;
    bool done = false;
    std::vector<std::thread::id> wokenOn;
    std::vector<std::thread::id> ranOn;
    loop->setWakeUpHandler([&] {
        std::lock_guard lk(mutex);
        wokenOn.push_back(std::this_thread::get_id());
        ++drainRequests;
        cv.notify_all();
    });
    std::thread toolkit([&] {
        std::unique_lock lk(mutex);
        while (!done) {
            if (!cv.wait_for(lk, kSafety, [&] { return drainRequests > 0 || done; }))
                return;
            drainRequests = 0;
            lk.unlock();
            while (loop->runOnce(loop->timeSource()->now())) {
            }
            lk.lock();
        }
    });
    constexpr int kPosters = 3;
    std::vector<std::thread> posters;
    std::vector<std::thread::id> posterIds;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&] {
            loop->post([&] {
                std::lock_guard lk(mutex);
                ranOn.push_back(std::this_thread::get_id());
                ++ran;
                cv.notify_all();
            });
        });
        posterIds.push_back(posters.back().get_id());
    }
    for (auto& t : posters) t.join();
    // A due timer wakes the toolkit too, and fires on its thread.
    loop->addTimer(0, false, [&] {
        std::lock_guard lk(mutex);
        ranOn.push_back(std::this_thread::get_id());
        ++ran;
        cv.notify_all();
    });
    {
        std::unique_lock lk(mutex);
        EXPECT_TRUE(cv.wait_for(lk, kSafety, [&] { return ran == kPosters + 1; }));
        done = true;
        cv.notify_all();
    }
    const auto toolkitId = toolkit.get_id();
    toolkit.join();
    EXPECT_EQ(ranOn, std::vector<std::thread::id>(kPosters + 1, toolkitId));
    ASSERT_EQ(wokenOn.size(), static_cast<size_t>(kPosters + 1)) << "once per task and per timer";
    for (auto id : posterIds) EXPECT_NE(std::find(wokenOn.begin(), wokenOn.end(), id), wokenOn.end());
    EXPECT_EQ(wokenOn.back(), std::this_thread::get_id()) << "the timer's adder is told";
}

TEST(RunLoopTest, AThrowingWakeUpHandlerNeitherLosesTheTaskNorReachesThePoster) {
    auto loop = RunLoop::create(std::make_shared<SystemTimeSource>(), "main");
    int calls = 0;
    loop->setWakeUpHandler([&] {
        ++calls;
        throw std::runtime_error("toolkit gone");
    });
    bool ran = false;
    EXPECT_NO_THROW(loop->post([&] { ran = true; }));
    EXPECT_TRUE(loop->runOnce(Date{}));
    EXPECT_TRUE(ran);
    loop->setWakeUpHandler(nullptr);
    loop->post([] {});
    EXPECT_EQ(calls, 1) << "a removed handler hears nothing";
}

TEST(RunLoopTest, RealTimeTimerFiresOnItsLoopsThread) {
    auto time = std::make_shared<SystemTimeSource>();
    LoopThread runner(time, "real");
    std::promise<std::thread::id> fired;
    auto timer = runner.loop->addTimer(0.001, false, [&] { fired.set_value(std::this_thread::get_id()); });
    auto f = fired.get_future();
    ASSERT_EQ(f.wait_for(kSafety), std::future_status::ready);
    EXPECT_EQ(f.get(), runner.id());
    std::promise<void> after;  // the loop is serial: the firing is over once this ran
    runner.loop->post([&] { after.set_value(); });
    after.get_future().wait();
    EXPECT_FALSE(timer->isValid()) << "a one-shot timer is spent after firing";
    EXPECT_EQ(runner.loop->timerCount(), 0u);
}

TEST(RunLoopTest, VirtualTimersFireInTimeOrderAcrossLoops) {
    test::TestEnvironment env;
    LoopThread a(env.time, "a");
    LoopThread b(env.time, "b");
    Firings firings;
    a.loop->addTimer(30, false, firings.recorder("a30", *env.time, *a.loop));
    b.loop->addTimer(10, false, firings.recorder("b10", *env.time, *b.loop));
    a.loop->addTimer(20, false, firings.recorder("a20", *env.time, *a.loop));
    b.loop->addTimer(25, false, firings.recorder("b25", *env.time, *b.loop));
    a.loop->addTimer(5, false, firings.recorder("a5", *env.time, *a.loop));

    env.advanceBy(22);
    EXPECT_EQ(firings.names(), (std::vector<std::string>{"a5@5", "b10@10", "a20@20"}));
    EXPECT_DOUBLE_EQ(timeIntervalSince1970(env.time->now()), test::TestEnvironment::kStart + 22);

    env.advanceBy(100);
    EXPECT_EQ(firings.names(), (std::vector<std::string>{"a5@5", "b10@10", "a20@20", "b25@25", "a30@30"}));
    std::lock_guard lk(firings.mutex);
    for (auto& f : firings.list) EXPECT_TRUE(f.onOwnLoop) << f.name << " fired off its loop's thread";
}

TEST(RunLoopTest, RepeatingVirtualTimerFiresOncePerIntervalUntilInvalidated) {
    test::TestEnvironment env;
    LoopThread a(env.time, "a");
    Firings firings;
    std::shared_ptr<Timer> timer;
    int count = 0;
    auto record = firings.recorder("tick", *env.time, *a.loop);
    timer = a.loop->addTimer(10, true, [&] {
        record();
        if (++count == 4)
            timer->invalidate();
    });
    env.advanceBy(35);
    EXPECT_EQ(firings.names(), (std::vector<std::string>{"tick@10", "tick@20", "tick@30"}));
    env.advanceBy(5);  // the due date itself is included
    EXPECT_EQ(firings.names().size(), 4u);
    EXPECT_FALSE(timer->isValid());
    env.advanceBy(100);
    EXPECT_EQ(firings.names().size(), 4u) << "invalidated from its own callback";
    EXPECT_EQ(a.loop->timerCount(), 0u);
}

TEST(RunLoopTest, TimerInvalidatedFromAnotherThreadNeverFires) {
    test::TestEnvironment env;
    LoopThread a(env.time, "a");
    LoopThread b(env.time, "b");
    Firings firings;
    auto doomed = a.loop->addTimer(20, true, firings.recorder("doomed", *env.time, *a.loop));
    auto other = a.loop->addTimer(40, false, firings.recorder("other", *env.time, *a.loop));
    // A timer on loop b cancels one on loop a: invalidation crosses threads.
    b.loop->addTimer(10, false, [&] { other->invalidate(); });
    std::thread([&] { doomed->invalidate(); }).join();
    env.advanceBy(60);
    EXPECT_TRUE(firings.names().empty());
    EXPECT_FALSE(doomed->isValid());
    EXPECT_FALSE(other->isValid());
}

TEST(RunLoopTest, VirtualTimerOfALoopWithoutRunnerWaitsForOne) {
    test::TestEnvironment env;
    auto loop = RunLoop::create(env.time, "idle");
    int fired = 0;
    loop->addTimer(10, false, [&] { ++fired; });
    env.advanceBy(20);  // nobody runs the loop: the firing is queued, time does not stall
    EXPECT_EQ(fired, 0);
    EXPECT_DOUBLE_EQ(timeIntervalSince1970(env.time->now()), test::TestEnvironment::kStart + 20);
    EXPECT_TRUE(loop->runOnce(Date{}));
    EXPECT_EQ(fired, 1);
    env.advanceBy(20);
    EXPECT_FALSE(loop->runOnce(Date{})) << "a one-shot timer fires once";
}

TEST(RunLoopTest, CurrentLoopIsTheOneBeingRunOrTheMainLoopOnTheMainThread) {
    test::TestEnvironment env;
    EXPECT_EQ(RunLoop::current(), mainRunLoop().get());
    LoopThread a(env.time, "a");
    std::promise<bool> inside;
    a.loop->post([&] { inside.set_value(a.loop->isCurrent()); });
    EXPECT_TRUE(inside.get_future().get());
    std::promise<RunLoop*> plain;
    std::thread([&] { plain.set_value(RunLoop::current()); }).join();
    EXPECT_EQ(plain.get_future().get(), nullptr);
}

}  // namespace
}  // namespace zarn::platform
