// The one-shot and significant-change wrappers on the simulated location world, in virtual time:
// when each request answers, with which fix, and how often.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/ZarnPLocationDaoDelegate.h"
#include "device/ZarnPLocationManagerCreatorImpl.h"
#include "device/ZarnPSLCDaoDelegate.h"
#include "device/ZarnPSystemBackgroundTaskDao.h"
#include "device/ZarnPSystemLocationDao.h"
#include "device/ZarnPSystemSLCDao.h"
#include "sim/Device.h"
#include "tests/device/LocationTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

struct Answer {
    double at = 0;  // seconds after the request
    std::optional<platform::LocationFix> fix;
    std::shared_ptr<ZarnPContext> context;
};

class RecordingLocationDelegate final : public ZarnPLocationDaoDelegate {
  public:
    explicit RecordingLocationDelegate(std::shared_ptr<platform::TimeSource> t) : time(std::move(t)) {}
    void locationDaoDidReceiveLocation(const std::optional<platform::LocationFix>& fix,
                                       const std::shared_ptr<ZarnPContext>& context) override {
        answers.push_back({timeIntervalSince1970(time->now()) - test::TestEnvironment::kStart, fix, context});
    }
    std::shared_ptr<platform::TimeSource> time;
    std::vector<Answer> answers;
};

class RecordingSlcDelegate final : public ZarnPSLCDaoDelegate {
  public:
    void slcDaoDidReceiveLocation(const platform::LocationFix& fix,
                                  const std::shared_ptr<ZarnPBackgroundTask>& task,
                                  const std::shared_ptr<ZarnPContext>& context) override {
        fixes.push_back(fix);
        tasks.push_back(task ? task->identifier() : 0);
        contexts.push_back(context);
    }
    std::vector<platform::LocationFix> fixes;
    std::vector<platform::BackgroundTaskIdentifier> tasks;
    std::vector<std::shared_ptr<ZarnPContext>> contexts;
};

class LocationWrapperTest : public ::testing::Test {
  protected:
    LocationWrapperTest() {
        env.location->position()->set({52.52, 13.405});
        creator = std::make_shared<ZarnPLocationManagerCreatorImpl>(env.location,
                                                                    env.device->locationAuthorization());
        dao = std::make_shared<ZarnPSystemLocationDao>(timerDao, clock, creator);
        dao->setDelegate(delegate);
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    std::shared_ptr<ZarnPSystemClockDao> clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    std::shared_ptr<ZarnPLocationManagerCreatorImpl> creator;
    std::shared_ptr<ZarnPSystemLocationDao> dao;
    std::shared_ptr<RecordingLocationDelegate> delegate =
        std::make_shared<RecordingLocationDelegate>(env.time);
};

struct OneShotCase {
    const char* name;
    std::vector<double> accuracies;
    bool noFix;
    double fixAge;
    bool fullUpdate;
    double answerAt;
    std::optional<double> accuracy;  // of the answer; nothing for no fix
};

void PrintTo(const OneShotCase& c, std::ostream* os) {
    *os << c.name;
}

class OneShotTimingTest : public LocationWrapperTest, public ::testing::WithParamInterface<OneShotCase> {};

TEST_P(OneShotTimingTest, AnswersOnceAtTheExpectedTimeWithTheBestFix) {
    const auto& c = GetParam();
    env.location->fixes()->setAccuracies(c.accuracies);
    env.location->fixes()->setNoFix(c.noFix);
    env.location->fixes()->setFixAge(c.fixAge);
    auto context = std::make_shared<ZarnPContext>(ZarnTriggerContextGeofence, std::nullopt, Date{});
    dao->requestLocation(c.fullUpdate, context);
    env.advanceBy(20);

    ASSERT_EQ(delegate->answers.size(), 1u);
    const auto& a = delegate->answers[0];
    EXPECT_NEAR(a.at, c.answerAt, 1e-6);
    EXPECT_EQ(a.context, context);
    ASSERT_EQ(a.fix.has_value(), c.accuracy.has_value());
    if (c.accuracy) {
        EXPECT_DOUBLE_EQ(a.fix->horizontalAccuracy, *c.accuracy);
    }
    EXPECT_FALSE(env.location->fixes()->isRunning());  // updates are off once answered
    EXPECT_FALSE(dao->isCollecting());
}

INSTANTIATE_TEST_SUITE_P(Windows, OneShotTimingTest,
                         ::testing::Values(
                             // First fix at 1 s is below 100 m: stop at once, answer after the 0.2 s tail.
                             OneShotCase{"EarlyStop", {65, 10}, false, 0, false, 1.2, 65},
                             // Exactly 100 m is not below 100: the window runs out.
                             OneShotCase{"HundredIsNotEnough", {100}, false, 0, false, 5.2, 100},
                             OneShotCase{"FullUpdateWaitsEight", {150}, false, 0, true, 8.2, 150},
                             // The third fix is the first under 100 m.
                             OneShotCase{"LaterEarlyStop", {300, 120, 50}, false, 0, true, 3.2, 50},
                             OneShotCase{"NoFixShort", {65}, true, 0, false, 5.2, std::nullopt},
                             OneShotCase{"NoFixFull", {65}, true, 0, true, 8.2, std::nullopt},
                             // Fixes older than 30 s never count.
                             OneShotCase{"OldFixes", {10}, false, 31, false, 5.2, std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocationWrapperTest, ConfiguresTheManagerAndAnswersEachAcceptedRequestOnce) {
    env.location->fixes()->setAccuracies({150, 40});
    auto first = std::make_shared<ZarnPContext>(ZarnTriggerContextSlc, std::nullopt, Date{});
    auto second = std::make_shared<ZarnPContext>(ZarnTriggerContextPush, std::nullopt, Date{});
    dao->requestLocation(false, first);
    env.advanceBy(1.5);
    dao->requestLocation(true, second);  // refused: the first still runs
    EXPECT_TRUE(env.consoleContains("Ignoring requestLocation. Already updating"));
    env.advanceBy(10);
    ASSERT_EQ(delegate->answers.size(), 1u);
    EXPECT_EQ(delegate->answers[0].context, first);
    EXPECT_NEAR(delegate->answers[0].at, 2.2, 1e-6);  // 40 m at 2 s

    // A request after the answer starts afresh: the old best does not carry over.
    env.location->fixes()->setNoFix(true);
    dao->requestLocation(false, second);
    env.advanceBy(10);
    ASSERT_EQ(delegate->answers.size(), 2u);
    EXPECT_EQ(delegate->answers[1].context, second);
    EXPECT_FALSE(delegate->answers[1].fix.has_value());

    ASSERT_TRUE(dao->locationManager());
    EXPECT_EQ(dao->locationManager()->distanceFilter(), 0.0);
    EXPECT_EQ(dao->locationManager()->desiredAccuracy(), 2000.0);
    EXPECT_FALSE(dao->locationManager()->pausesLocationUpdatesAutomatically());
    EXPECT_EQ(env.location->managersCreated(), 1);
}

TEST_F(LocationWrapperTest, InvalidCoordinateAndErrorsNeverBecomeTheFix) {
    platform::LocationFix invalid;  // the platform's "no position"
    invalid.horizontalAccuracy = 5;
    invalid.timestamp = env.time->now();
    env.location->fixes()->queueFix(invalid);
    env.location->fixes()->failNext(Error{"kCLErrorDomain", 0, "unknown"});
    env.location->fixes()->setNoFix(true);
    dao->requestLocation(false, nullptr);
    env.advanceBy(10);
    ASSERT_EQ(delegate->answers.size(), 1u);
    EXPECT_FALSE(delegate->answers[0].fix.has_value());
    EXPECT_TRUE(env.consoleContains("didFailWithError:"));
}

TEST_F(LocationWrapperTest, LocationServiceEnabledByAuthorisation) {
    struct Row {
        bool servicesOn;
        platform::LocationAuthorizationStatus status;
        bool enabled;
    };
    using S = platform::LocationAuthorizationStatus;
    for (auto row : {Row{true, S::NotDetermined, true}, Row{true, S::Restricted, false},
                     Row{true, S::Denied, false}, Row{true, S::AuthorizedAlways, true},
                     Row{true, S::AuthorizedWhenInUse, true}, Row{false, S::AuthorizedAlways, false}}) {
        env.device->locationAuthorization()->setLocationServicesEnabled(row.servicesOn);
        env.device->locationAuthorization()->setLocationAuthorizationStatus(row.status);
        EXPECT_EQ(creator->isLocationServiceEnabled(), row.enabled) << static_cast<int>(row.status);
        EXPECT_EQ(creator->authorizationStatus(), row.status);
    }
}

class SlcDaoTest : public LocationWrapperTest {
  protected:
    SlcDaoTest() {
        slc = std::make_shared<ZarnPSystemSLCDao>(timerDao, clock, tasks, contexts, env.location,
                                                  env.device->locationAuthorization());
        slc->setDelegate(slcDelegate);
    }
    std::shared_ptr<ZarnPSystemBackgroundTaskDao> tasks = std::make_shared<ZarnPSystemBackgroundTaskDao>(
        timerDao, env.device->backgroundTasks(), env.device->application());
    std::shared_ptr<test::RecordingContexts> contexts = std::make_shared<test::RecordingContexts>();
    std::shared_ptr<RecordingSlcDelegate> slcDelegate = std::make_shared<RecordingSlcDelegate>();
    std::shared_ptr<ZarnPSystemSLCDao> slc;
};

TEST_F(SlcDaoTest, BatchesWithinTwoSecondsGiveOneCallWithTheBestUnderOneTask) {
    slc->enable();
    env.location->significantChanges()->setAccuracy(400);
    env.location->significantChanges()->trigger();
    env.advanceBy(0.5);
    env.location->significantChanges()->setAccuracy(90);
    env.location->significantChanges()->trigger();
    env.advanceBy(0.5);
    env.location->significantChanges()->setAccuracy(200);
    env.location->significantChanges()->trigger();
    env.advanceBy(0.5);
    EXPECT_TRUE(slcDelegate->fixes.empty());  // still collecting
    env.advanceBy(1.0);
    ASSERT_EQ(slcDelegate->fixes.size(), 1u);
    EXPECT_DOUBLE_EQ(slcDelegate->fixes[0].horizontalAccuracy, 90);
    EXPECT_EQ(env.device->backgroundTasks()->begunBackgroundTasks().size(), 1u);
    EXPECT_NE(slcDelegate->tasks[0], platform::kBackgroundTaskInvalid);
    ASSERT_EQ(contexts->started.size(), 1u);
    EXPECT_EQ(slcDelegate->contexts[0]->triggerContext(), ZarnTriggerContextSlc);
    EXPECT_TRUE(
        env.device->backgroundTasks()->runningBackgroundTasks().empty());  // the delegate kept no reference

    // Moves: a fix after 500 m, none after less.
    env.location->position()->set({52.52, 13.409});  // about 270 m
    env.advanceBy(3);
    EXPECT_EQ(slcDelegate->fixes.size(), 1u);
    env.location->position()->set({52.52, 13.415});  // about 680 m from the first
    env.advanceBy(3);
    EXPECT_EQ(slcDelegate->fixes.size(), 2u);
}

TEST_F(SlcDaoTest, CollectionWithoutAUsableFixReleasesItsTaskWithoutACall) {
    slc->enable();
    env.location->fixes()->setFixAge(60);
    env.location->significantChanges()->trigger();
    env.advanceBy(3);
    EXPECT_TRUE(slcDelegate->fixes.empty());
    EXPECT_EQ(env.device->backgroundTasks()->begunBackgroundTasks().size(), 1u);
    EXPECT_TRUE(env.device->backgroundTasks()->runningBackgroundTasks().empty());
    EXPECT_TRUE(env.consoleContains("Cleanup for completeCollect"));
}

TEST_F(SlcDaoTest, EnableAsksAndMonitorsAsConfigured) {
    struct Row {
        bool ask, background, available;
        std::vector<std::string> requests;
        bool monitoring;
    };
    for (const auto& row : {Row{true, true, true, {"always"}, true},
                            Row{true, false, true, {"whenInUse"}, false}, Row{false, true, true, {}, true},
                            Row{false, false, true, {}, false}, Row{true, true, false, {}, false}}) {
        env.device->locationAuthorization()->setSignificantLocationChangeMonitoringAvailable(row.available);
        auto dao = std::make_shared<ZarnPSystemSLCDao>(timerDao, clock, tasks, contexts, env.location,
                                                       env.device->locationAuthorization());
        dao->setAutomaticallyAskLocationPermission(row.ask);
        dao->setEnableBackgroundLocation(row.background);
        size_t before = env.location->authorizationRequests().size();
        dao->enable();
        auto all = env.location->authorizationRequests();
        EXPECT_EQ(std::vector<std::string>(all.begin() + before, all.end()), row.requests)
            << row.ask << row.background;
        EXPECT_EQ(env.location->significantChanges()->isMonitoring(), row.monitoring)
            << row.ask << row.background;
        dao->disable();
        EXPECT_FALSE(env.location->significantChanges()->isMonitoring());
        EXPECT_FALSE(dao->locationManager());
    }
}

}  // namespace
}  // namespace zarn
