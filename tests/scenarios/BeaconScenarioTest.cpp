// The whole library with a beacon campaign that came from the service: the device walks up to
// the beacon, the library ranges it, matches by identity and distance, offers the entry
// notifications to the app's filter and shows only the ones the app chose; while the beacon stays
// in reach nothing is offered again; walking away leaves the beacon region and offers the exit
// notification. The offered lists, what the user sees and the stored events are checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/ZarnPBeaconUtil.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "sim/Device.h"
#include "sim/Route.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/TestService.h"
#include "tests/support/ScenarioDoubles.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnHooks.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

constexpr const char* kUuid = "0123456789abcdef0123456789abcdef";
constexpr double kLat = 52.5200;
constexpr double kCounterLon = 13.40015;  // about 10 m east of the door: "far"

sim::DataUpdateNotification beaconAt(const char* campaign, const char* id, int minor, int range) {
    return {.campaign = campaign,
            .geofenceId = id,
            .beaconUuid = kUuid,
            .beaconMajorId = 7,
            .beaconMinorId = minor,
            .location = {{static_cast<float>(kLat), static_cast<float>(kCounterLon)}},
            .matchRange = range};
}

class BeaconScenarioTest : public test::StartedLibraryTest {
  protected:
    void SetUp() override {
        test::installTestService(service);
        StartedLibraryTest::SetUp();
        filter.installOn(*app);

        sim::DataUpdateDescription d{
            .deleteAllOldData = true,
            .campaigns = {{.campaignId = "hello", .message = "Welcome at the counter"},
                          {.campaignId = "quiet", .message = "Quiet hello"},
                          {.campaignId = "close", .message = "Only up close"},
                          {.campaignId = "bye", .message = "Thanks for visiting", .triggerOnExit = true},
                          {.campaignId = "other", .message = "Other beacon"}}};
        d.tiles.push_back({.value = "u33d",
                           .notifications = {beaconAt("hello", "b", 1, 30), beaconAt("quiet", "b", 1, 30),
                                             beaconAt("close", "b", 1, 20), beaconAt("bye", "b", 1, 30),
                                             beaconAt("other", "b", 2, 30)}});
        service->setDataUpdate(sim::DataUpdateBuilder::build(d));
    }

    void start() {
        auto c = ZarnConfiguration::create();
        c->setPublicToken(std::string("token-1"));
        c->setDelegate(app);
        ZarnBase::performInitializationWithConfiguration(c);
        env.runUntilIdle();
        env.advanceBy(10);
    }

    // Walks from where the device is to `lon` in `seconds`, then stays `stay` seconds.
    void walk(double lon, double seconds, double stay) {
        auto from = env.location->position()->current();
        ASSERT_TRUE(from);
        env.location->position()->follow(sim::Route({{0, *from}, {seconds, {kLat, lon}}}));
        for (double s = 0; s < seconds + stay; s += 1) env.advanceBy(1);
    }

    std::vector<std::string> shown() { return test::bodiesOf(test::shownRequests(env)); }

    // The stored events of one type: the identifier under `key` of each, in order.
    std::vector<std::string> events(unsigned type, const char* key) {
        std::vector<std::string> out;
        for (auto& e : ground()->storedEvents())
            if (e->eventType() == type)
                out.push_back(e->extra().value(key, ""));
        return out;
    }

    // The bodies of the `i`th offered list, sorted.
    std::vector<std::string> offered(size_t i) {
        auto out = test::bodiesOf(filter.offers.at(i));
        std::sort(out.begin(), out.end());
        return out;
    }

    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
    std::shared_ptr<ZarnDelegate> app = std::make_shared<ZarnDelegate>();
    // The app shows everything it is offered but the quiet one.
    test::RecordingFilter filter{
        [](const NotificationRequest& r) { return r.content.body != "Quiet hello"; }};
};

TEST_F(BeaconScenarioTest, EnterOffersMatchesToTheFilterAndLeavingOffersTheExit) {
    env.location->position()->set({kLat, 13.3990});  // about 110 m west of the beacon
    env.location->beacons()->place({.proximityUuid = ZarnPBeaconUtil::stringToUuid(kUuid)->bytes(),
                                    .major = 7,
                                    .minor = 1,
                                    .at = {kLat, kCounterLon},
                                    .range = 40});
    start();
    ASSERT_TRUE(ZarnBase::isEnabled());
    env.device->application()->resignActive();
    env.advanceBy(1);
    ASSERT_GE(service->requestCount(), 1u) << "the campaigns come from the service";
    auto monitored = env.location->regions()->monitored();
    ASSERT_TRUE(std::any_of(monitored.begin(), monitored.end(), [](auto& r) {
        return r.identifier.rfind("zarn-ibeacon", 0) == 0;
    })) << "the stored beacon's region is monitored";
    EXPECT_TRUE(filter.offers.empty()) << "out of reach: nothing offered";

    // Up to the door, about 10 m from the beacon: ranged as "far" (30 m).
    walk(13.4000, 60, 30);
    ASSERT_EQ(filter.offers.size(), 1u);
    EXPECT_EQ(offered(0), (std::vector<std::string>{"Quiet hello", "Welcome at the counter"}))
        << "not the exit one, not the one that needs 20 m, not the other beacon";
    EXPECT_TRUE(filter.onMainThread[0]);
    EXPECT_EQ(shown(), std::vector<std::string>{"Welcome at the counter"});
    for (auto& r : filter.offers[0]) {
        EXPECT_EQ(r.content.userInfo.value("matchIdentifier", ""), r.identifier);
        EXPECT_EQ(r.content.userInfo.value("matchIdentifier", "").size(), 32u);
    }

    // Staying in reach a while: the beacon is not offered again.
    for (int i = 0; i < 10; ++i) env.advanceBy(60);
    EXPECT_EQ(filter.offers.size(), 1u);
    EXPECT_EQ(shown().size(), 1u);

    // Away to the east, out of reach: the region is left and the exit notification offered.
    walk(13.4020, 120, 60);
    ASSERT_EQ(filter.offers.size(), 2u);
    EXPECT_EQ(offered(1), std::vector<std::string>{"Thanks for visiting"});
    EXPECT_EQ(shown(), (std::vector<std::string>{"Welcome at the counter", "Thanks for visiting"}));

    // One sent event per shown notification, with its match id; nothing for the quiet one.
    EXPECT_EQ(events(ZarnPLogEventTypeNotificationSent, "notification_id"),
              (std::vector<std::string>{"hello;b", "bye;b"}));
    EXPECT_EQ(events(ZarnPLogEventTypeNotificationSent, "trigger"),
              (std::vector<std::string>{"beacon", "beacon"}));
    auto matchIds = events(ZarnPLogEventTypeNotificationSent, "match_id");
    auto delivered = env.device->localNotificationCenter()->deliveredNotifications();
    ASSERT_EQ(delivered.size(), 2u);
    ASSERT_EQ(matchIds.size(), 2u);
    EXPECT_EQ(matchIds[0], delivered[0].request.identifier);
    EXPECT_EQ(matchIds[1], delivered[1].request.identifier);

    // Back in reach and away again: a new visit offers the entry and the exit once more.
    walk(13.4000, 120, 30);
    walk(13.4020, 120, 60);
    ASSERT_EQ(filter.offers.size(), 4u);
    EXPECT_EQ(offered(2), (std::vector<std::string>{"Quiet hello", "Welcome at the counter"}));
    EXPECT_EQ(offered(3), std::vector<std::string>{"Thanks for visiting"});
    // The system saw two visits of the one beacon region, and the library ranged only then.
    using C = sim::RegionRegistry::Crossing;
    std::vector<C> beaconCrossings;
    for (auto& c : env.location->regions()->crossings())
        if (c.identifier.rfind("zarn-ibeacon", 0) == 0)
            beaconCrossings.push_back({"beacon", c.entered});
    EXPECT_EQ(beaconCrossings,
              (std::vector<C>{{"beacon", true}, {"beacon", false}, {"beacon", true}, {"beacon", false}}));
    EXPECT_EQ(env.location->beacons()->activeRangings(), 0u);
    EXPECT_TRUE(env.device->backgroundTasks()->overdueBackgroundTasks().empty());
}

TEST_F(BeaconScenarioTest, ARestartInsideTheRegionNeitherRepeatsTheEntryNorLosesTheExit) {
    env.location->position()->set({kLat, 13.3990});
    env.location->beacons()->place({.proximityUuid = ZarnPBeaconUtil::stringToUuid(kUuid)->bytes(),
                                    .major = 7,
                                    .minor = 1,
                                    .at = {kLat, kCounterLon},
                                    .range = 40});
    start();
    env.device->application()->resignActive();
    env.advanceBy(1);
    walk(13.4000, 60, 30);
    ASSERT_EQ(filter.offers.size(), 1u);
    ASSERT_EQ(shown().size(), 1u);

    // The process ends while the device is inside; what is stored stays.
    restart();
    env.advanceBy(600);
    start();
    env.device->application()->resignActive();
    for (int i = 0; i < 5; ++i) env.advanceBy(60);
    EXPECT_EQ(filter.offers.size(), 1u) << "still inside: nothing offered again";
    EXPECT_EQ(shown(), std::vector<std::string>{"Welcome at the counter"});

    walk(13.4020, 120, 60);
    ASSERT_EQ(filter.offers.size(), 2u);
    EXPECT_EQ(offered(1), std::vector<std::string>{"Thanks for visiting"});
    EXPECT_EQ(shown(), (std::vector<std::string>{"Welcome at the counter", "Thanks for visiting"}));
}

TEST_F(BeaconScenarioTest, AVisitWithTheAppOpenOffersTheEntryAndTheExitAlike) {
    env.location->position()->set({kLat, 13.3990});
    env.location->beacons()->place({.proximityUuid = ZarnPBeaconUtil::stringToUuid(kUuid)->bytes(),
                                    .major = 7,
                                    .minor = 1,
                                    .at = {kLat, kCounterLon},
                                    .range = 40});
    start();  // and the app stays active
    walk(13.4000, 60, 30);
    ASSERT_EQ(filter.offers.size(), 1u);
    EXPECT_EQ(offered(0), (std::vector<std::string>{"Quiet hello", "Welcome at the counter"}));
    EXPECT_EQ(shown(), std::vector<std::string>{"Welcome at the counter"});
    walk(13.4020, 120, 60);
    ASSERT_EQ(filter.offers.size(), 2u);
    EXPECT_EQ(offered(1), std::vector<std::string>{"Thanks for visiting"});
}

}  // namespace
}  // namespace zarn
