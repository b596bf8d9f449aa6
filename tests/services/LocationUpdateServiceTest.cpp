// The location update service on the simulated device: when a run starts, what it waits for,
// what it stores and broadcasts at its end, and what happens while disabled.
#include <gtest/gtest.h>

#include <optional>

#include "core/ZarnPContext.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/ZarnPBaseKeyValueDao.h"
#include "device/ZarnPLocationManagerCreatorImpl.h"
#include "device/ZarnPSystemBackgroundTaskDao.h"
#include "device/ZarnPSystemLocationDao.h"
#include "device/ZarnPSystemSLCDao.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPLocationUpdateService.h"
#include "sim/Device.h"
#include "tests/device/MemoryStringKeyValueDao.h"
#include "tests/services/LocationUpdateTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/ZarnValues.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {
namespace {

const platform::LocationCoordinate2D kHome{52.5200, 13.4050};

class LocationUpdateServiceTest : public ::testing::Test {
  protected:
    LocationUpdateServiceTest() {
        env.location->position()->set(kHome);
        locationDao->setDelegate(service);
        slcDao->setDelegate(service);
        notifications->setDelegate(service);
        center->addObserver(this, "", [this](const platform::Broadcast& b) {
            if (b.name.rfind("Zarn_", 0) != 0)
                return;
            auto location = b.get<std::shared_ptr<ZarnPLocationWithAccuracy>>("current_location");
            auto publicLocation = b.get<std::shared_ptr<ZarnLocationWithAccuracy>>("current_location");
            broadcasts.push_back(b.name + (location || publicLocation ? "+fix" : ""));
        });
    }
    ~LocationUpdateServiceTest() override {
        center->removeObserver(this);
        locationDao->setDelegate(nullptr);
        slcDao->setDelegate(nullptr);
    }
    std::shared_ptr<ZarnPContext> context(unsigned type = 1) { return contexts->startContext(type); }
    void lastRunAgo(double seconds) {
        keyValue->setDatePropertyValue(
            dateWithTimeIntervalSince1970(timeIntervalSince1970(env.time->now()) - seconds),
            "zarn_last_match_run");
    }
    size_t runningTasks() { return env.device->backgroundTasks()->runningBackgroundTasks().size(); }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    std::shared_ptr<ZarnPSystemClockDao> clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    std::shared_ptr<ZarnPKeyValueDao> keyValue =
        std::make_shared<ZarnPBaseKeyValueDao>(std::make_shared<test::MemoryStringKeyValueDao>());
    std::shared_ptr<ZarnPSystemBackgroundTaskDao> tasks = std::make_shared<ZarnPSystemBackgroundTaskDao>(
        timerDao, env.device->backgroundTasks(), env.device->application());
    std::shared_ptr<ZarnPContextService> contexts = std::make_shared<ZarnPContextService>(clock);
    std::shared_ptr<ZarnPSystemLocationDao> locationDao = std::make_shared<ZarnPSystemLocationDao>(
        timerDao, clock,
        std::make_shared<ZarnPLocationManagerCreatorImpl>(env.location, env.device->locationAuthorization()));
    std::shared_ptr<ZarnPSystemSLCDao> slcDao = std::make_shared<ZarnPSystemSLCDao>(
        timerDao, clock, tasks, contexts, env.location, env.device->locationAuthorization());
    std::shared_ptr<test::RecordingNotificationService> notifications =
        std::make_shared<test::RecordingNotificationService>();
    std::shared_ptr<test::RecordingMatchDispatch> dispatch = std::make_shared<test::RecordingMatchDispatch>();
    std::shared_ptr<test::RecordingEvents> events = std::make_shared<test::RecordingEvents>();
    std::shared_ptr<platform::NotificationCenter> center = std::make_shared<platform::NotificationCenter>();
    std::shared_ptr<ZarnPLocationUpdateService> service =
        ZarnPLocationUpdateService::create(slcDao, locationDao, notifications, dispatch, events, contexts,
                                           keyValue, clock, tasks, nullptr, center);
    std::vector<std::string> broadcasts;
};

TEST_F(LocationUpdateServiceTest, FreshnessThresholds) {
    struct Row {
        std::optional<double> lastRunAgo;  // negative: the clock was set back
        bool forced;
        bool full;
        bool fresh;
    };
    for (auto row :
         {Row{std::nullopt, false, true, true}, Row{std::nullopt, false, false, true},
          Row{60, false, true, false}, Row{120, false, true, false}, Row{121, false, true, true},
          Row{6, true, true, true}, Row{4, true, true, false}, Row{4, false, false, false},
          Row{6, false, false, true}, Row{-60, false, true, false}, Row{-130, false, true, true}}) {
        keyValue->unsetPropertyKey("zarn_last_match_run");
        if (row.lastRunAgo)
            lastRunAgo(*row.lastRunAgo);
        keyValue->setBoolPropertyValue(row.forced, "zarn_force_update");
        EXPECT_EQ(service->shouldRequestFreshLocation(row.full), row.fresh)
            << (row.lastRunAgo ? *row.lastRunAgo : -1) << " forced " << row.forced << " full " << row.full;
    }
}

TEST_F(LocationUpdateServiceTest, FullUpdateFetchesTheFixThenTheDataUpdateAndReleasesEveryWaitingContext) {
    EXPECT_EQ(service->serviceState(), 0);
    EXPECT_TRUE(service->isLocationBeingRequested());
    service->enable();
    EXPECT_EQ(service->serviceState(), 1);
    EXPECT_FALSE(service->isLocationBeingRequested());

    auto first = context(), second = context();
    int handled = 0;
    std::shared_ptr<ZarnPLocationWithAccuracy> handedFix;
    service->performFullUpdate(first);
    EXPECT_EQ(service->serviceState(), 3);
    EXPECT_TRUE(dispatch->geofenceFlag);
    EXPECT_EQ(runningTasks(), 1u);
    // A second request during the run only waits for it, and its handler hears the run's end.
    service->performFullUpdateWithCompletionHandler(
        [&](std::shared_ptr<ZarnPLocationWithAccuracy> fix) {
            ++handled;
            handedFix = fix;
        },
        second);
    EXPECT_EQ(env.location->fixes()->startCount(), 1);
    EXPECT_TRUE(notifications->requests.empty());

    env.advanceBy(1.5);  // the 65 m fix at 1 s ends the request 0.2 s later
    ASSERT_EQ(notifications->requests.size(), 1u);
    EXPECT_TRUE(notifications->requests[0].inForeground);
    ASSERT_TRUE(notifications->requests[0].location);
    EXPECT_DOUBLE_EQ(notifications->requests[0].location->accuracy(), 65.0);
    EXPECT_EQ(service->serviceState(), 1);
    ASSERT_EQ(dispatch->runs.size(), 1u);
    EXPECT_TRUE(dispatch->runs[0].geofence);
    EXPECT_NE(dispatch->runs[0].task, 0);
    EXPECT_EQ(runningTasks(), 0u);
    ASSERT_EQ(events->events.size(), 2u);
    for (auto& e : events->events) {
        EXPECT_EQ(e.type, 2u);
        EXPECT_EQ(e.extra.value("location", ""), "52.520000,13.405000");
        EXPECT_EQ(e.extra.value("accuracy", ""), "65.000000");
    }
    EXPECT_EQ(first->referenceCount(), -1);
    EXPECT_EQ(second->referenceCount(), -1);
    EXPECT_EQ(handled, 1);
    ASSERT_TRUE(handedFix);
    EXPECT_EQ(broadcasts, (std::vector<std::string>{"Zarn_Location_Update_Completed_Private+fix",
                                                    "Zarn_Location_Update_Completed+fix"}));
    EXPECT_TRUE(keyValue->getDatePropertyValueForKey("zarn_last_match_run"));

    // 60 s later: the cached fix is logged and announced, nothing is fetched.
    env.advanceBy(60);
    auto third = context();
    service->performFullUpdate(third);
    EXPECT_EQ(env.location->fixes()->startCount(), 1);
    EXPECT_EQ(events->events.size(), 3u);
    EXPECT_EQ(events->events.back().context, third);
    EXPECT_EQ(broadcasts.back(), "Zarn_Wont_Update+fix");
    EXPECT_EQ(handled, 1);  // the handler ran once
    // Forced, more than 5 s after the run: a new run.
    keyValue->setBoolPropertyValue(true, "zarn_force_update");
    service->performFullUpdate(context());
    EXPECT_EQ(service->serviceState(), 3);
    EXPECT_EQ(env.location->fixes()->startCount(), 2);
    env.advanceBy(2);
    EXPECT_TRUE(env.consoleContains("completed"));
}

TEST_F(LocationUpdateServiceTest, RegionEventsUseTheCachedFixWithinFiveSeconds) {
    service->enable();
    service->proximityTriggered(context(2));  // first run after installation
    EXPECT_EQ(service->serviceState(), 2);
    EXPECT_TRUE(env.consoleContains("Starting update for location only update"));
    env.advanceBy(1.5);
    EXPECT_EQ(service->serviceState(), 1);
    EXPECT_TRUE(notifications->requests.empty());  // no data update in a location-only run
    ASSERT_EQ(dispatch->runs.size(), 1u);

    env.advanceBy(3);
    service->proximityTriggered(context(2));
    EXPECT_TRUE(env.consoleContains("Using cached location"));
    EXPECT_EQ(dispatch->runs.size(), 2u);  // matched at once
    EXPECT_EQ(env.location->fixes()->startCount(), 1);
    EXPECT_EQ(events->events.size(), 1u);  // no event for a cached hand-over
    EXPECT_EQ(runningTasks(), 0u);
}

TEST_F(LocationUpdateServiceTest, SignificantChangeAsksForTheDataUpdateAtOnceAndABetterFixWhenInaccurate) {
    struct Row {
        double accuracy;
        bool asksForFix;
    };
    for (auto row : {Row{150, true}, Row{100, false}}) {
        SCOPED_TRACE(row.accuracy);
        keyValue->unsetPropertyKey("zarn_last_match_run");
        notifications->requests.clear();
        notifications->answerAtOnce = false;
        dispatch->runs.clear();
        int fixesBefore = env.location->fixes()->startCount();
        env.location->significantChanges()->setAccuracy(row.accuracy);
        service->enable();
        env.location->significantChanges()->trigger();
        env.advanceBy(2.1);  // the wrapper collects for 2 s
        EXPECT_EQ(service->serviceState(), 2);
        ASSERT_EQ(notifications->requests.size(), 1u);
        EXPECT_FALSE(notifications->requests[0].inForeground);
        EXPECT_DOUBLE_EQ(notifications->requests[0].location->accuracy(), row.accuracy);
        EXPECT_EQ(env.location->fixes()->startCount() - fixesBefore, row.asksForFix ? 1 : 0);
        EXPECT_TRUE(dispatch->geofenceFlag);
        env.advanceBy(1.5);
        EXPECT_TRUE(dispatch->runs.empty());  // the data update is not in yet
        notifications->finish();
        EXPECT_EQ(service->serviceState(), 1);
        ASSERT_EQ(dispatch->runs.size(), 1u);
        EXPECT_DOUBLE_EQ(dispatch->runs[0].location->accuracy(), row.asksForFix ? 65.0 : row.accuracy);
        EXPECT_EQ(runningTasks(), 0u);
        env.advanceBy(10);
    }
}

TEST_F(LocationUpdateServiceTest, FixesThatCannotBeMatchedStillEndTheRun) {
    struct Row {
        bool noFix;
        double accuracy;
        std::string eventLocation;
    };
    for (auto row : {Row{true, 10, ""}, Row{false, 2500, "52.520000,13.405000"}}) {
        keyValue->unsetPropertyKey("zarn_last_match_run");
        events->events.clear();
        broadcasts.clear();
        env.location->fixes()->setNoFix(row.noFix);
        env.location->fixes()->setAccuracies({row.accuracy});
        service->enable();
        service->performFullUpdate(context());
        env.advanceBy(8.5);  // no early stop: the 8 s window and its tail
        EXPECT_EQ(service->serviceState(), 1);
        EXPECT_TRUE(dispatch->runs.empty());
        EXPECT_TRUE(env.consoleContains("Ignoring location because it is nil or inaccurate"));
        ASSERT_EQ(events->events.size(), 1u);
        EXPECT_EQ(events->events[0].extra.value("location", "?"), row.eventLocation);
        std::string suffix = row.noFix ? "" : "+fix";
        EXPECT_EQ(broadcasts, (std::vector<std::string>{"Zarn_Location_Update_Completed_Private" + suffix,
                                                        "Zarn_Location_Update_Completed" + suffix}));
        EXPECT_EQ(runningTasks(), 0u);
    }
}

TEST_F(LocationUpdateServiceTest, WhileDisabledNothingRunsAndNoTaskIsKept) {
    slcDao->enable();  // the wrapper may still wake the app
    auto parked = context();
    service->performFullUpdate(parked);
    service->proximityTriggered(context(2));
    service->notificationServiceReceivedPushForLocation(context(5));
    env.location->significantChanges()->trigger();
    env.advanceBy(10);
    EXPECT_EQ(service->serviceState(), 0);
    EXPECT_EQ(env.location->fixes()->startCount(), 0);
    EXPECT_TRUE(notifications->requests.empty());
    EXPECT_TRUE(dispatch->runs.empty());
    EXPECT_FALSE(dispatch->geofenceFlag);
    EXPECT_TRUE(broadcasts.empty());
    EXPECT_EQ(runningTasks(), 0u);
    EXPECT_GE(env.device->backgroundTasks()->begunBackgroundTasks().size(), 2u);  // begun, then ended
    EXPECT_EQ(service->awaitingContextCount(), 1u);

    // The parked context is released by the first run after enabling.
    service->enable();
    service->performFullUpdate(context());
    env.advanceBy(2);
    EXPECT_EQ(parked->referenceCount(), -1);
    EXPECT_EQ(service->awaitingContextCount(), 0u);
}

TEST_F(LocationUpdateServiceTest, PushRestartsARunningUpdateAsLocationOnly) {
    service->enable();
    notifications->answerAtOnce = false;
    service->performFullUpdate(context());
    env.advanceBy(1.5);  // the fix is in; the data update is awaited
    EXPECT_EQ(service->serviceState(), 3);
    service->notificationServiceReceivedPushForLocation(context(5));
    // The push does not wait behind the run: it starts a location-only run of its own.
    EXPECT_EQ(service->serviceState(), 2);
    EXPECT_TRUE(dispatch->geofenceFlag);
    EXPECT_EQ(env.location->fixes()->startCount(), 2);
    env.advanceBy(1.5);
    EXPECT_EQ(service->serviceState(), 1);
    EXPECT_EQ(dispatch->runs.size(), 1u);
    EXPECT_EQ(runningTasks(), 0u);
    // The run's late answer no longer counts.
    notifications->finish();
    EXPECT_EQ(dispatch->runs.size(), 1u);
}

}  // namespace
}  // namespace zarn
