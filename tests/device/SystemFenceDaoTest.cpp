// Region monitoring and beacon ranging over the simulated location world: the regions built for
// geofences, the app-wide set after each change, crossings along a route, and every way a
// ranging ends.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/ZarnPCoordinateUtil.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/ZarnPSystemBackgroundTaskDao.h"
#include "device/ZarnPSystemFenceDao.h"
#include "sim/Device.h"
#include "sim/Route.h"
#include "tests/device/LocationTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

constexpr const char* kUuidA = "E2C56DB5-DFFB-48D2-B060-D0F5A71096E0";
constexpr const char* kUuidB = "74278bdab64445208f0c720eaf059935";  // the 32-digit form
const platform::LocationCoordinate2D kHome{52.5200, 13.4050};

ZarnPGeofence geofence(std::string id, double lat, double lon, int range, bool exit = false) {
    return ZarnPGeofence{std::move(id), ZarnPLocation(lat, lon), range, exit};
}

platform::ProximityUuid bytesOf(const char* text) {
    return ZarnPSystemFenceDao::convertToUuids({text}).at(0).bytes();
}

class FenceDaoTest : public ::testing::Test {
  protected:
    FenceDaoTest() {
        env.location->position()->set(kHome);
        fence = std::make_shared<ZarnPSystemFenceDao>(nullptr, tasks, nullptr, timerDao, contexts,
                                                      env.location, env.device->locationAuthorization());
        fence->setDelegate(delegate);
        fence->getReady();
    }
    double elapsed() { return timeIntervalSince1970(env.time->now()) - test::TestEnvironment::kStart; }
    std::vector<std::string> libraryRegions() {
        std::vector<std::string> out;
        for (auto& r : env.location->regions()->monitored())
            if (r.identifier.rfind("zarn-", 0) == 0)
                out.push_back(r.identifier);
        std::sort(out.begin(), out.end());
        return out;
    }
    void placeBeacon(const char* uuid, int major, int minor, platform::LocationCoordinate2D at,
                     double range = 20) {
        env.location->beacons()->place(sim::PlacedBeacon{bytesOf(uuid), major, minor, at, range});
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    std::shared_ptr<ZarnPSystemBackgroundTaskDao> tasks = std::make_shared<ZarnPSystemBackgroundTaskDao>(
        timerDao, env.device->backgroundTasks(), env.device->application());
    std::shared_ptr<test::RecordingContexts> contexts = std::make_shared<test::RecordingContexts>();
    std::shared_ptr<test::RecordingFenceDelegate> delegate =
        std::make_shared<test::RecordingFenceDelegate>(env.time);
    std::shared_ptr<ZarnPSystemFenceDao> fence;
};

TEST_F(FenceDaoTest, RegionOfAGeofence) {
    struct Row {
        int range;
        bool exit;
        double maximum;
        double radius;
        bool capped;
    };
    for (auto row :
         {Row{100, false, 1e5, 100, false}, Row{100, true, 1e5, 150, false}, Row{300, true, 1e5, 350, false},
          Row{1000, true, 1e5, 1100, false}, Row{3000, true, 1e5, 3250, false},
          Row{5000, true, 1e5, 5250, false}, Row{2000, false, 1000, 1000, true},
          // The margin is added after the cap.
          Row{2000, true, 1000, 1100, true}}) {
        env.location->regions()->setMaximumDistance(row.maximum);
        int before = env.consoleCount("larger than supported");
        auto region = fence->notificationToRegion(geofence("c1;r1", 52.0, 13.0, row.range, row.exit));
        ASSERT_TRUE(region);
        EXPECT_EQ(region->identifier, "zarn-c1;r1");
        EXPECT_DOUBLE_EQ(region->radius, row.radius) << row.range << " " << row.exit;
        EXPECT_EQ(region->notifyOnExit, row.exit);
        EXPECT_EQ(env.consoleCount("larger than supported") - before, row.capped ? 1 : 0) << row.range;
    }
    EXPECT_FALSE(fence->notificationToRegion(ZarnPGeofence{std::nullopt, ZarnPLocation(1, 1), 100, false}));
}

TEST_F(FenceDaoTest, SameListChangesNothingAndChangedGeofencesAreRegisteredAgain) {
    env.location->regions()->setMaximumDistance(1000);
    std::vector<ZarnPGeofence> wanted{geofence("a", 52.0, 13.0, 100), geofence("b", 52.1, 13.1, 300, true),
                                      geofence("c", 52.2, 13.2, 5000)};  // capped
    fence->monitorGeofenceNotifications(wanted);
    auto registry = env.location->regions();
    EXPECT_EQ(registry->requests(), (std::vector<std::string>{"+zarn-a", "+zarn-b", "+zarn-c"}));
    fence->monitorGeofenceNotifications(wanted);
    EXPECT_EQ(registry->requests().size(), 3u);

    wanted[0] = geofence("a", 52.0015, 13.0, 100);     // moved
    wanted[1] = geofence("b", 52.1, 13.1, 400, true);  // resized
    wanted[2] = geofence("c", 52.2, 13.2, 800, true);  // now on exit
    fence->monitorGeofenceNotifications(wanted);
    auto r = registry->requests();
    EXPECT_EQ(std::vector<std::string>(r.begin() + 3, r.end()),
              (std::vector<std::string>{"-zarn-a", "-zarn-b", "-zarn-c", "+zarn-a", "+zarn-b", "+zarn-c"}));
    EXPECT_DOUBLE_EQ(registry->region("zarn-b")->radius, 450);
    EXPECT_TRUE(registry->region("zarn-c")->notifyOnExit);
    EXPECT_DOUBLE_EQ(registry->region("zarn-c")->radius, 880);
    // Dropping one from the list stops only that one.
    wanted.pop_back();
    fence->monitorGeofenceNotifications(wanted);
    EXPECT_EQ(libraryRegions(), (std::vector<std::string>{"zarn-a", "zarn-b"}));
}

TEST_F(FenceDaoTest, TheLimitOfTwentyCountsTheAppsOwnRegions) {
    for (int i = 0; i < 15; ++i)
        env.location->regions()->seedAppRegion(
            platform::Region::circular({10.0 + i, 10.0}, 100, "app-" + std::to_string(i)), std::nullopt);
    std::vector<ZarnPGeofence> wanted;
    for (int i = 0; i < 10; ++i)
        wanted.push_back(geofence("n" + std::to_string(i), 52.0 + i * 0.01, 13.0, 100));
    fence->monitorGeofenceNotifications(wanted);
    EXPECT_EQ(libraryRegions(),
              (std::vector<std::string>{"zarn-n0", "zarn-n1", "zarn-n2", "zarn-n3", "zarn-n4"}));
    EXPECT_EQ(env.location->regions()->monitored().size(), 20u);

    // Nearest first: a new list keeps what is still wanted and fills the room in order.
    fence->monitorGeofenceNotifications({wanted[7], wanted[1], wanted[8]});
    EXPECT_EQ(libraryRegions(), (std::vector<std::string>{"zarn-n1", "zarn-n7", "zarn-n8"}));

    fence->removeAllFences();
    EXPECT_TRUE(libraryRegions().empty());
    EXPECT_EQ(env.location->regions()->monitored().size(), 15u);  // the app's stay
}

TEST_F(FenceDaoTest, EntriesAndExitsAlongARouteInOrder) {
    // Three geofences 1.1 km apart on a line of latitude; the walk passes through all three.
    fence->monitorGeofenceNotifications({geofence("a", 52.52, 13.42, 200),
                                         geofence("b", 52.52, 13.436, 200, true),
                                         geofence("c", 52.52, 13.452, 200, true)});
    auto route = sim::Route::parse(
        "# walk east\n"
        "0 52.52 13.405\n"
        "1800 52.52 13.47\n");
    ASSERT_TRUE(route);
    env.location->position()->follow(*route, 1.0);
    for (int i = 0; i < 40; ++i) env.advanceBy(60);
    EXPECT_EQ(delegate->names(), (std::vector<std::string>{"enter:zarn-a", "enter:zarn-b", "exit:zarn-b",
                                                           "enter:zarn-c", "exit:zarn-c"}));
    // b's region (200 m and the 50 m exit margin) is crossed through its centre: 500 m at the
    // walk's speed, judged once a second.
    double speed = ZarnPCoordinateUtil::distanceBetweenLat(52.52, 13.405, 52.52, 13.47) / 1800;
    EXPECT_NEAR(delegate->calls[2].at - delegate->calls[1].at, 500 / speed, 2.0);

    // Registered while inside: no entry, but the state says inside.
    fence->monitorGeofenceNotifications({geofence("d", 52.52, 13.47, 300)});
    env.runUntilIdle();
    EXPECT_EQ(delegate->calls.size(), 5u);
    EXPECT_EQ(env.location->regions()->state("zarn-d"), platform::RegionState::Inside);
}

TEST_F(FenceDaoTest, InvalidBeaconUuidsAreSkippedAndBeaconRegionsDoNotCountAgainstTheLimit) {
    for (int i = 0; i < 20; ++i)
        env.location->regions()->seedAppRegion(
            platform::Region::circular({10.0 + i, 10.0}, 100, "app-" + std::to_string(i)), std::nullopt);
    fence->replaceBeaconNotifications({kUuidA, "not-a-uuid", "E2C56DB5DFFB48D2B060D0F5A71096", kUuidB});
    EXPECT_EQ(env.consoleCount("Skipping beacon UUID that is not 32 hexadecimal digits"), 2);
    // The platform refuses them (code 5), which the wrapper ignores silently.
    env.runUntilIdle();
    EXPECT_TRUE(libraryRegions().empty());
    EXPECT_FALSE(env.consoleContains("Failed to monitor for region"));

    fence->locationManagerMonitoringDidFail(platform::Region::circular({1, 1}, 10, "app-3"),
                                            Error{"kCLErrorDomain", 4, "denied"});
    EXPECT_TRUE(env.consoleContains("Failed to monitor for region"));
}

TEST_F(FenceDaoTest, RangingFinishesAtTheThirdPassWithTheClosestSightings) {
    auto uuid = bytesOf(kUuidA);
    auto beacon = [&](int minor, platform::BeaconProximity p) {
        return platform::Beacon{uuid, 1, minor, p, -1, -70};
    };
    using P = platform::BeaconProximity;
    env.location->beacons()->scriptPasses(uuid, {{beacon(1, P::Far), beacon(2, P::Near)},
                                                 {beacon(1, P::Near), beacon(2, P::Far)},
                                                 {beacon(3, P::Unknown)}});
    placeBeacon(kUuidA, 1, 1, kHome);  // the device is inside at registration
    fence->replaceBeaconNotifications({kUuidA});
    env.runUntilIdle();
    ASSERT_EQ(fence->rangingDao().count(), 1u);
    EXPECT_EQ(env.device->backgroundTasks()->runningBackgroundTasks().size(), 1u);
    double started = elapsed();

    env.advanceBy(10);
    ASSERT_EQ(delegate->names(), (std::vector<std::string>{std::string("ranged:") + kUuidA}));
    const auto& ranged = delegate->calls[0];
    EXPECT_NEAR(ranged.at - test::TestEnvironment::kStart - started, 3.0, 1e-6);
    ASSERT_EQ(ranged.beacons.size(), 3u);
    EXPECT_EQ(ranged.beacons[0].proximity, P::Near);  // far, then near: near
    EXPECT_EQ(ranged.beacons[1].proximity, P::Near);  // near, then far: stays near
    EXPECT_EQ(ranged.beacons[2].minor, 3);
    EXPECT_EQ(ranged.context->triggerContext(), ZarnTriggerContextBeacon);
    EXPECT_EQ(fence->rangingDao().count(), 0u);
    EXPECT_TRUE(env.device->backgroundTasks()->runningBackgroundTasks().empty());
    EXPECT_TRUE(env.location->beacons()->activeRangings() == 0);
}

TEST_F(FenceDaoTest, EveryRangingEndsOnceAndReleasesItsTask) {
    using P = platform::BeaconProximity;
    struct Row {
        const char* name;
        int scriptedPasses;  // before ranging starts failing
        bool leave;          // walk out after 1.5 s
        std::vector<std::string> calls;
        double endsAfter;  // seconds after the start of ranging
    };
    std::string ranged = std::string("ranged:") + kUuidA, left = std::string("beaconExit:") + kUuidA;
    for (const auto& row : {Row{"no pass at all", 0, false, {ranged}, 5.0},
                            Row{"one pass, then failures", 1, false, {ranged}, 6.0},
                            Row{"left after a pass", 1, true, {left}, 1.5}}) {
        SCOPED_TRACE(row.name);
        delegate->calls.clear();
        auto uuid = bytesOf(kUuidA);
        std::vector<std::vector<platform::Beacon>> passes(row.scriptedPasses,
                                                          {platform::Beacon{uuid, 1, 1, P::Near, 2, -60}});
        env.location->beacons()->scriptPasses(uuid, passes);
        env.location->beacons()->setRangingFails(false);
        env.location->position()->set(kHome);
        env.location->beacons()->removeAll();
        placeBeacon(kUuidA, 1, 1, kHome);
        fence->replaceBeaconNotifications({kUuidA});
        env.runUntilIdle();
        ASSERT_EQ(fence->rangingDao().count(), 1u);
        double started = elapsed();
        if (row.scriptedPasses) {
            env.advanceBy(1.0);
        }
        env.location->beacons()->setRangingFails(true);
        if (row.leave) {
            env.advanceBy(0.5);
            env.location->position()->set({52.53, 13.405});
        }
        env.advanceBy(20);
        EXPECT_EQ(delegate->names(), row.calls);
        ASSERT_FALSE(delegate->calls.empty());
        EXPECT_NEAR(delegate->calls.back().at - test::TestEnvironment::kStart - started, row.endsAfter, 1e-6);
        EXPECT_EQ(delegate->calls.back().context->triggerContext(), ZarnTriggerContextBeacon);
        if (!row.leave) {
            EXPECT_EQ(delegate->calls.back().beacons.size(), static_cast<size_t>(row.scriptedPasses));
        }
        EXPECT_EQ(fence->rangingDao().count(), 0u);
        EXPECT_TRUE(env.device->backgroundTasks()->runningBackgroundTasks().empty());
        EXPECT_EQ(env.location->beacons()->activeRangings(), 0u);
        fence->removeAllFences();
        env.runUntilIdle();
    }
    EXPECT_TRUE(env.consoleContains("rangingBeaconsDidFail:"));
}

TEST_F(FenceDaoTest, NothingIsRegisteredWithoutRegionMonitoringOrRanging) {
    struct Row {
        bool monitoring;
        std::optional<bool> ranging;
        size_t regions;  // after one geofence and one beacon UUID
        const char* line;
    };
    for (const auto& row : {Row{false, true, 0, "Geofences not available. Won't register geofences."},
                            Row{true, false, 1, "Beacons are not supported. Won't register beacons."},
                            Row{true, std::nullopt, 1, "Beacons are not supported. Won't register beacons."},
                            Row{true, true, 2, nullptr}}) {
        env.device->locationAuthorization()->setRegionMonitoringAvailable(row.monitoring);
        env.location->setRangingAvailable(row.ranging);
        auto dao = std::make_shared<ZarnPSystemFenceDao>(nullptr, tasks, nullptr, timerDao, contexts,
                                                         env.location, env.device->locationAuthorization());
        dao->monitorGeofenceNotifications({geofence("g", 1.0, 1.0, 100)});
        dao->replaceBeaconNotifications({kUuidA});
        EXPECT_EQ(libraryRegions().size(), row.regions) << row.monitoring;
        EXPECT_EQ(dao->isBeaconSupported(), row.ranging.value_or(false));
        if (row.line) {
            EXPECT_TRUE(env.consoleContains(row.line));
        }
        dao->removeAllFences();
        env.runUntilIdle();
    }
}

TEST_F(FenceDaoTest, RemovingAllFencesReportsAnExitPerBeaconRegionWithItsOwnContext) {
    fence->replaceBeaconNotifications({kUuidA, kUuidB});
    fence->monitorGeofenceNotifications({geofence("g", 1.0, 1.0, 100)});
    env.runUntilIdle();
    EXPECT_EQ(libraryRegions().size(), 3u);
    size_t contextsBefore = contexts->started.size();
    fence->removeAllFences();
    ASSERT_EQ(delegate->calls.size(), 2u);
    for (const auto& c : delegate->calls) {
        EXPECT_EQ(c.what, "beaconExit");
        EXPECT_EQ(c.context->triggerContext(), ZarnTriggerContextBeacon);
    }
    EXPECT_NE(delegate->calls[0].context, delegate->calls[1].context);
    EXPECT_EQ(contexts->started.size(), contextsBefore + 2);
    EXPECT_TRUE(libraryRegions().empty());
}

}  // namespace
}  // namespace zarn
