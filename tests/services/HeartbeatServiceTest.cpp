// The daily heartbeat in virtual time: its first delay, the UTC midnights after it in any time
// zone, and the permission state it reports.
#include "services/ZarnPHeartbeatService.h"

#include <gtest/gtest.h>

#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "store/settings/ZarnPBaseKeyValueDao.h"
#include "tests/services/ServiceTestSupport.h"
#include "tests/store/settings/MemoryStringKeyValueDao.h"
#include "tests/support/CaseNames.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

constexpr double kDay = 86400.0;
// Seconds from the environment's start (12:00 UTC) to the next UTC midnight.
constexpr double kToMidnight = 12 * 3600.0;

class HeartbeatFixture {
  public:
    explicit HeartbeatFixture(long zoneOffset) : env(zoneOffset) {}
    ~HeartbeatFixture() {
        if (service)
            timerDao->invokeBlockOnRunLoop([this] { service.reset(); }, true);
        env.runUntilIdle();
    }

    void build() {
        service =
            std::make_shared<ZarnPHeartbeatService>(events, keyValueDao, timerDao, device, clock, creator);
    }
    // The service belongs to the SDK thread.
    void start() {
        timerDao->invokeBlockOnRunLoop([this] { service->startTimer(); }, true);
    }
    size_t heartbeats() { return events->ofType(ZarnPLogEventTypeHeartbeat).size(); }
    double lastHeartbeat() {
        std::optional<Date> d;
        timerDao->invokeBlockOnRunLoop(
            [&] { d = keyValueDao->getDatePropertyValueForKey("zarn_last_heartbeat_date"); }, true);
        return d ? timeIntervalSince1970(*d) : -1;
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), nullptr);
    std::shared_ptr<ZarnPBaseKeyValueDao> keyValueDao =
        std::make_shared<ZarnPBaseKeyValueDao>(std::make_shared<test::MemoryStringKeyValueDao>());
    std::shared_ptr<test::RecordingEventLogging> events = std::make_shared<test::RecordingEventLogging>();
    std::shared_ptr<test::FakeDeviceDataDao> device = std::make_shared<test::FakeDeviceDataDao>();
    std::shared_ptr<test::FakeLocationManagerCreator> creator =
        std::make_shared<test::FakeLocationManagerCreator>();
    std::shared_ptr<ZarnPSystemClockDao> clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    std::shared_ptr<ZarnPHeartbeatService> service;
};

class HeartbeatZoneTest : public ::testing::TestWithParam<long> {};

TEST_P(HeartbeatZoneTest, FirstAfterOneSecondThenAtEveryUtcMidnight) {
    HeartbeatFixture f(GetParam());
    f.build();
    f.start();
    f.env.advanceBy(0.9);
    EXPECT_EQ(f.heartbeats(), 0u);
    f.env.advanceBy(0.2);
    ASSERT_EQ(f.heartbeats(), 1u);
    EXPECT_DOUBLE_EQ(f.lastHeartbeat(), test::TestEnvironment::kStart + 1.0);
    // The next one waits for 00:00 UTC, whatever the device's zone.
    f.env.advanceBy(kToMidnight - 1.0 - 0.5);
    EXPECT_EQ(f.heartbeats(), 1u);
    f.env.advanceBy(1.0);
    ASSERT_EQ(f.heartbeats(), 2u);
    EXPECT_DOUBLE_EQ(f.lastHeartbeat(), test::TestEnvironment::kStart + kToMidnight);
    // Now 0.6 s past midnight.
    for (int day = 1; day <= 3; ++day) {
        f.env.advanceBy(kDay - 1.0);
        EXPECT_EQ(f.heartbeats(), 1u + day);
        f.env.advanceBy(1.0);
        EXPECT_EQ(f.heartbeats(), 2u + day);
    }
    EXPECT_DOUBLE_EQ(f.lastHeartbeat(), test::TestEnvironment::kStart + kToMidnight + 3 * kDay);
}

INSTANTIATE_TEST_SUITE_P(Zones, HeartbeatZoneTest,
                         ::testing::Values(0L, -5 * 3600L, 9 * 3600L + 1800L, 14 * 3600L),
                         [](const auto& info) { return test::caseName("Offset", info.param); });

TEST(HeartbeatServiceTest, HeartbeatStoredEarlierTheSameUtcDayWaitsForMidnight) {
    HeartbeatFixture f(-8 * 3600L);
    f.build();
    // 01:00 UTC today: the same UTC day although it was yesterday evening on the device.
    f.timerDao->invokeBlockOnRunLoop(
        [&] {
            f.keyValueDao->setDatePropertyValue(
                dateWithTimeIntervalSince1970(test::TestEnvironment::kStart - 11 * 3600.0),
                "zarn_last_heartbeat_date");
        },
        true);
    f.start();
    f.env.advanceBy(2.0);
    EXPECT_EQ(f.heartbeats(), 0u);
    f.env.advanceBy(kToMidnight - 2.0);
    EXPECT_EQ(f.heartbeats(), 1u);
}

TEST(HeartbeatServiceTest, HeartbeatOfAnEarlierUtcDaySendsAfterOneSecond) {
    HeartbeatFixture f(0);
    f.build();
    f.timerDao->invokeBlockOnRunLoop(
        [&] {
            f.keyValueDao->setDatePropertyValue(
                dateWithTimeIntervalSince1970(test::TestEnvironment::kStart - 12 * 3600.0 - 1.0),
                "zarn_last_heartbeat_date");
        },
        true);
    f.start();
    f.env.advanceBy(1.0);
    EXPECT_EQ(f.heartbeats(), 1u);
}

TEST(HeartbeatServiceTest, HeartbeatAtHalfAMinuteToMidnightSchedulesTheNextThirtySecondsLater) {
    HeartbeatFixture f(3600L);
    f.env.advanceBy(kToMidnight - 31.0);
    f.build();
    f.start();
    f.env.advanceBy(1.0);  // 23:59:30 UTC
    ASSERT_EQ(f.heartbeats(), 1u);
    f.env.advanceBy(29.9);
    EXPECT_EQ(f.heartbeats(), 1u);
    f.env.advanceBy(0.1);
    EXPECT_EQ(f.heartbeats(), 2u);
}

TEST(HeartbeatServiceTest, RestartedTimerReplacesTheWaitingOne) {
    HeartbeatFixture f(0);
    f.build();
    f.start();
    f.start();
    f.env.advanceBy(1.0);
    EXPECT_EQ(f.heartbeats(), 1u);
}

TEST(HeartbeatServiceTest, ExtraReportsThePermissionsBySystemVersion) {
    using L = platform::LocationAuthorizationStatus;
    struct Case {
        const char* version;
        bool notifications;
        int status;
        L location;
        bool background;
        bool accurate;
        Value extra;
    };
    const std::vector<Case> cases{
        {"16.4",
         true,
         2,
         L::AuthorizedAlways,
         true,
         true,
         {{"notification_optin", "yes"},
          {"location_optin", "always"},
          {"background_optin", "yes"},
          {"full_accuracy", "yes"}}},
        {"14.0",
         false,
         3,
         L::AuthorizedWhenInUse,
         false,
         false,
         {{"notification_optin", "provisional"},
          {"location_optin", "whenInUse"},
          {"background_optin", "no"},
          {"full_accuracy", "no"}}},
        {"13.7",
         false,
         1,
         L::Denied,
         true,
         false,
         {{"notification_optin", "no"}, {"location_optin", "no"}, {"background_optin", "yes"}}},
        {"11.4",
         false,
         3,
         L::NotDetermined,
         true,
         true,
         {{"notification_optin", "no"}, {"location_optin", "undefined"}, {"background_optin", "yes"}}},
        {"12.0",
         true,
         3,
         L::Restricted,
         false,
         true,
         {{"notification_optin", "provisional"},
          {"location_optin", "undefined"},
          {"background_optin", "no"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        HeartbeatFixture f(0);
        f.device->version = c.version;
        f.device->notificationsEnabled = c.notifications;
        f.device->authorizationStatus = c.status;
        f.device->background = c.background;
        f.device->accurate = c.accurate;
        f.creator->status = c.location;
        f.build();
        f.start();
        f.env.advanceBy(1.0);
        auto beats = f.events->ofType(ZarnPLogEventTypeHeartbeat);
        ASSERT_EQ(beats.size(), 1u);
        EXPECT_EQ(beats[0].extra, c.extra);
        EXPECT_FALSE(beats[0].context);
    }
}

}  // namespace
}  // namespace zarn
