// Screen transitions on the simulated application: each move to the foreground or background
// is an attribution event, a public-log line and a full update, all for one foreground context.
#include "services/ZarnPScreenEventsService.h"

#include <gtest/gtest.h>

#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPLocationUpdating.h"
#include "sim/Device.h"
#include "tests/services/ServiceTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

class RecordingLocationUpdates final : public ZarnPLocationUpdating {
  public:
    void enable() override {}
    void disable() override {}
    void performFullUpdate(std::shared_ptr<ZarnPContext> context) override {
        std::lock_guard lk(mutex);
        fullUpdates.push_back(std::move(context));
    }
    void performFullUpdateOrLogCurrentLocationWithContext(std::shared_ptr<ZarnPContext>) override {}
    void clearData() override {}
    std::vector<std::shared_ptr<ZarnPContext>> updates() {
        std::lock_guard lk(mutex);
        return fullUpdates;
    }
    std::mutex mutex;
    std::vector<std::shared_ptr<ZarnPContext>> fullUpdates;
};

class ScreenEventsServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        publicLog->setEnabled(true);
        service = std::make_shared<ZarnPScreenEventsService>(timerDao, events, contexts, publicLog, updates,
                                                             platform::defaultCenter());
    }
    void TearDown() override {
        service.reset();
        env.runUntilIdle();
    }
    std::vector<std::string> actions() {
        std::vector<std::string> out;
        for (auto& e : events->ofType(ZarnPLogEventTypeAttribution)) out.push_back(e.extra["action_name"]);
        return out;
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), nullptr);
    std::shared_ptr<ZarnPSystemClockDao> clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    std::shared_ptr<test::RecordingEventLogging> events = std::make_shared<test::RecordingEventLogging>();
    std::shared_ptr<ZarnPContextService> contexts = std::make_shared<ZarnPContextService>(clock);
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLog = std::make_shared<ZarnPSystemPublicLogDao>(
        clock, nullptr, nullptr, env.fileSystem, env.time, [] { return true; });
    std::shared_ptr<RecordingLocationUpdates> updates = std::make_shared<RecordingLocationUpdates>();
    std::shared_ptr<ZarnPScreenEventsService> service;
};

TEST_F(ScreenEventsServiceTest, EachTransitionIsReportedWithItsOwnForegroundContextAndStartsAFullUpdate) {
    service->registerHandlers(true);
    env.runUntilIdle();
    auto app = env.device->application();
    app->enterBackgroundFromForeground();
    env.runUntilIdle();
    app->enterForeground();
    env.runUntilIdle();
    // Becoming active without coming from the background is not a transition.
    app->becomeActive();
    env.runUntilIdle();

    EXPECT_EQ(actions(),
              (std::vector<std::string>{"app_in_foreground", "app_in_background", "app_in_foreground"}));
    auto attributions = events->ofType(ZarnPLogEventTypeAttribution);
    auto full = updates->updates();
    ASSERT_EQ(full.size(), attributions.size());
    for (size_t i = 0; i < full.size(); ++i) {
        ASSERT_TRUE(attributions[i].context);
        EXPECT_EQ(attributions[i].context, full[i]);
        EXPECT_EQ(full[i]->triggerContext(), static_cast<unsigned>(ZarnTriggerContextForeground));
        if (i > 0) {
            EXPECT_NE(full[i], full[i - 1]);
        }
    }
    EXPECT_EQ(env.consoleCount("Registering screen transition: app_in_background"), 1);
    EXPECT_EQ(env.consoleCount("Registering screen transition: app_in_foreground"), 2);
}

TEST_F(ScreenEventsServiceTest, RegisteringInTheBackgroundWaitsAndASecondRegistrationAddsNothing) {
    service->registerHandlers(false);
    env.runUntilIdle();
    EXPECT_TRUE(actions().empty());
    service->registerHandlers(true);
    env.runUntilIdle();
    EXPECT_TRUE(actions().empty());
    env.device->application()->enterForeground();
    env.runUntilIdle();
    EXPECT_EQ(actions(), std::vector<std::string>{"app_in_foreground"});
    EXPECT_TRUE(service->isInitialized());
}

TEST_F(ScreenEventsServiceTest, ReleasedServiceHearsNoMoreTransitions) {
    service->registerHandlers(false);
    service.reset();
    env.device->application()->enterBackgroundFromForeground();
    env.runUntilIdle();
    EXPECT_TRUE(events->events().empty());
    EXPECT_TRUE(updates->updates().empty());
}

}  // namespace
}  // namespace zarn
