#include "services/ZarnPContextService.h"

#include <gtest/gtest.h>

#include <future>
#include <set>
#include <thread>
#include <vector>

#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPEventLogging.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

// Keeps every stored event, and whether it was stored on the SDK thread.
class RecordingEvents final : public ZarnPEventLogging {
  public:
    struct Event {
        unsigned type;
        Value extra;
        std::shared_ptr<ZarnPContext> context;
        bool onSdkThread;
    };
    explicit RecordingEvents(std::shared_ptr<ZarnPSystemTimerDao> timer) : timer_(std::move(timer)) {}
    void logEventWithType(unsigned type, const Value& extra,
                          const std::shared_ptr<ZarnPContext>& context) override {
        std::lock_guard lk(mutex_);
        events_.push_back({type, extra, context, timer_->isRunThread()});
    }
    std::vector<Event> events() {
        std::lock_guard lk(mutex_);
        return events_;
    }

  private:
    std::shared_ptr<ZarnPSystemTimerDao> timer_;
    std::mutex mutex_;
    std::vector<Event> events_;
};

class ContextServiceTest : public ::testing::Test {
  protected:
    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemClockDao> clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    std::shared_ptr<ZarnPSystemTimerDao> timer = std::make_shared<ZarnPSystemTimerDao>(
        platform::timeSource(), platform::mainRunLoop(), platform::current().application);
    std::shared_ptr<RecordingEvents> events = std::make_shared<RecordingEvents>(timer);
    std::shared_ptr<ZarnPContextService> service = make();
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLog = std::make_shared<ZarnPSystemPublicLogDao>(
        clock, nullptr, nullptr, env.fileSystem, env.time, [] { return true; });

    ContextServiceTest() { publicLog->setEnabled(true); }

    std::shared_ptr<ZarnPContextService> make() {
        // Wired as the module does: built first, then given its collaborators.
        auto s = std::make_shared<ZarnPContextService>(clock);
        s->setEventService(events);
        s->setTimerDao(timer);
        return s;
    }
    // Runs `f` on the SDK thread and waits for it.
    void onSdkThread(const std::function<void()>& f) { timer->invokeBlockOnRunLoop(f, true); }
};

TEST_F(ContextServiceTest, NewContextsCarryTheirTriggerAndStartAtZero) {
    auto plain = service->startContext(ZarnTriggerContextBeacon);
    auto detailed = service->startContext(ZarnTriggerContextExternal, "ENTER");
    EXPECT_EQ(plain->triggerContext(), ZarnTriggerContextBeacon);
    EXPECT_EQ(plain->triggerDetails(), std::nullopt);
    EXPECT_EQ(detailed->triggerDetails(), "ENTER");
    EXPECT_EQ(plain->referenceCount(), 0);
    EXPECT_EQ(plain->collectedLog(), "");
    EXPECT_NE(plain->uuid(), detailed->uuid());
}

TEST_F(ContextServiceTest, AContextWithoutLinesReportsNothing) {
    auto context = service->startContext(ZarnTriggerContextGeofence);
    onSdkThread([&] { service->decrementContext(context); });
    EXPECT_EQ(context->referenceCount(), -1);
    EXPECT_TRUE(events->events().empty());
}

TEST_F(ContextServiceTest, TheCollectedLinesAreReportedOnceAsADebugLogEvent) {
    auto context = service->startContext(ZarnTriggerContextGeofence);
    publicLog->logNotificationCooldown(context);
    publicLog->logScreenTransition("Home", context);
    const std::string lines = *context->collectedLog();

    onSdkThread([&] { service->decrementContext(context); });
    auto stored = events->events();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].type, ZarnPLogEventTypeDebuglogEntry);
    EXPECT_EQ(stored[0].extra, (Value{{"contents", lines}}));
    EXPECT_EQ(stored[0].context, context);

    // Later lines of the run are not collected, and a further decrement reports nothing.
    publicLog->logScreenTransition("Later", context);
    EXPECT_EQ(context->collectedLog(), std::nullopt);
    onSdkThread([&] { service->decrementContext(context); });
    EXPECT_EQ(events->events().size(), 1u);
}

TEST_F(ContextServiceTest, TheReportComesWithTheDecrementThatBringsTheCountBelowOne) {
    auto context = service->startContext(ZarnTriggerContextSlc);
    onSdkThread([&] { service->incrementContext(context); });
    publicLog->logMessageIfEnabled(context, "first part");
    onSdkThread([&] { service->decrementContext(context); });
    EXPECT_EQ(context->referenceCount(), 0);
    ASSERT_EQ(events->events().size(), 1u) << "count 0 is below 1";
    EXPECT_NE(events->events()[0].extra["contents"].get<std::string>().find("first part"), std::string::npos);

    publicLog->logMessageIfEnabled(context, "second part");
    onSdkThread([&] { service->decrementContext(context); });
    EXPECT_EQ(context->referenceCount(), -1);
    EXPECT_EQ(events->events().size(), 1u);
}

TEST_F(ContextServiceTest, AnOutstandingReferenceHoldsTheReportBack) {
    auto context = service->startContext(ZarnTriggerContextPush);
    onSdkThread([&] {
        service->incrementContext(context);
        service->incrementContext(context);
    });
    publicLog->logMessageIfEnabled(context, "line");
    onSdkThread([&] { service->decrementContext(context); });
    EXPECT_TRUE(events->events().empty()) << "count 1 is not below 1";
    onSdkThread([&] { service->decrementContext(context); });
    EXPECT_EQ(events->events().size(), 1u);
}

TEST_F(ContextServiceTest, ADecrementFromTheMainThreadTakesEffectOnTheSdkThreadLater) {
    auto context = service->startContext(ZarnTriggerContextUserInitiated);
    publicLog->logMessageIfEnabled(context, "tapped");
    // Hold the SDK thread so that the hop cannot have run yet when the call returns.
    std::promise<void> release;
    auto held = release.get_future().share();
    timer->invokeBlockOnRunLoop([held] { held.wait(); }, false);
    service->decrementContext(context);  // the test thread is the main thread
    EXPECT_EQ(context->referenceCount(), 0) << "not counted on the caller's stack";
    release.set_value();
    env.runUntilIdle();
    EXPECT_EQ(context->referenceCount(), -1);
    ASSERT_EQ(events->events().size(), 1u);
    EXPECT_TRUE(events->events()[0].onSdkThread);
}

TEST_F(ContextServiceTest, ADecrementFromAnAppThreadAlsoMovesToTheSdkThread) {
    auto context = service->startContext(ZarnTriggerContextExternal);
    publicLog->logMessageIfEnabled(context, "from the app");
    std::thread app([&] { service->decrementContext(context); });
    app.join();
    env.runUntilIdle();
    ASSERT_EQ(events->events().size(), 1u);
    EXPECT_TRUE(events->events()[0].onSdkThread);
}

TEST_F(ContextServiceTest, RacingDecrementsFromManyThreadsReportExactlyOnce) {
    constexpr int kThreads = 8;
    auto context = service->startContext(ZarnTriggerContextBeacon);
    onSdkThread([&] {
        for (int i = 0; i < kThreads - 1; ++i) service->incrementContext(context);
    });
    publicLog->logMessageIfEnabled(context, "ranging");
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&] {
            publicLog->logMessageIfEnabled(context, "more");
            service->decrementContext(context);
        });
    for (auto& t : threads) t.join();
    env.runUntilIdle();
    EXPECT_EQ(context->referenceCount(), -1);
    auto stored = events->events();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].onSdkThread);
}

TEST_F(ContextServiceTest, NullContextsAndAMissingEventServiceAreHarmless) {
    service->decrementContext(nullptr);
    service->incrementContext(nullptr);
    auto lonely = std::make_shared<ZarnPContextService>(clock, nullptr, timer);
    auto context = lonely->startContext(ZarnTriggerContextInit);
    publicLog->logMessageIfEnabled(context, "line");
    onSdkThread([&] { lonely->decrementContext(context); });
    EXPECT_EQ(context->referenceCount(), -1);
    EXPECT_TRUE(events->events().empty());
}

}  // namespace
}  // namespace zarn
