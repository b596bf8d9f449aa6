// The simulated location world on its own: routes, the region registry's rules, beacon ranging
// passes and significant changes, as a location manager's delegate hears them.
#include "sim/LocationWorld.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

class Listener final : public platform::LocationManagerDelegate {
  public:
    void locationManagerDidUpdateLocations(const std::vector<platform::LocationFix>& f) override {
        fixes.insert(fixes.end(), f.begin(), f.end());
    }
    void locationManagerDidEnterRegion(const platform::Region& r) override {
        events.push_back("+" + r.identifier);
    }
    void locationManagerDidExitRegion(const platform::Region& r) override {
        events.push_back("-" + r.identifier);
    }
    void locationManagerDidDetermineState(platform::RegionState s, const platform::Region& r) override {
        events.push_back("state " + r.identifier + " " + std::to_string(static_cast<int>(s)));
    }
    void locationManagerMonitoringDidFail(const std::optional<platform::Region>& r, const Error& e) override {
        failures.push_back((r ? r->identifier : std::string("?")) + " " + e.domain + " " +
                           std::to_string(e.code));
    }
    void locationManagerDidRangeBeacons(const std::vector<platform::Beacon>& b,
                                        const platform::Region&) override {
        passes.push_back(b);
    }
    std::vector<platform::LocationFix> fixes;
    std::vector<std::string> events;
    std::vector<std::string> failures;
    std::vector<std::vector<platform::Beacon>> passes;
};

class LocationWorldTest : public ::testing::Test {
  protected:
    LocationWorldTest() { manager->setDelegate(listener); }
    test::TestEnvironment env;
    std::shared_ptr<platform::LocationManager> manager = env.location->createLocationManager();
    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
};

TEST(RouteTest, ParsesInterpolatesAndRefusesBadLines) {
    auto route = sim::Route::parse("# a walk\n\n0 10 20\n100 11 22  # halfway\n100 12 22\n300 12 24\n");
    ASSERT_TRUE(route);
    struct Row {
        double t, lat, lon;
    };
    for (auto row : {Row{-5, 10, 20}, Row{0, 10, 20}, Row{50, 10.5, 21}, Row{100, 11, 22}, Row{200, 12, 23},
                     Row{400, 12, 24}}) {
        auto at = route->positionAt(row.t);
        ASSERT_TRUE(at);
        EXPECT_DOUBLE_EQ(at->latitude, row.lat) << row.t;
        EXPECT_DOUBLE_EQ(at->longitude, row.lon) << row.t;
    }
    EXPECT_DOUBLE_EQ(route->duration(), 300);
    for (const char* bad : {"0 10\n", "0 10 20\n-1 10 20\n", "0 95 20\n", "0 10 20 x\n"}) {
        std::string error;
        EXPECT_FALSE(sim::Route::parse(bad, &error)) << bad;
        EXPECT_NE(error.find("line"), std::string::npos);
    }
    EXPECT_FALSE(sim::Route().positionAt(0));

    test::TestEnvironment env;
    std::string path = env.path("route.txt");
    std::ofstream(path) << "0 1 2\n10 1 3\n";
    auto loaded = sim::Route::load(path);
    ASSERT_TRUE(loaded);
    EXPECT_DOUBLE_EQ(loaded->positionAt(5)->longitude, 2.5);
}

TEST_F(LocationWorldTest, RegistryLimitsJudgesByGeometryAndReportsExitsOnlyWhereAsked) {
    auto regions = env.location->regions();
    regions->setMaximumDistance(5000);
    env.location->position()->set({0, 0});
    for (int i = 0; i < 18; ++i)
        regions->seedAppRegion(platform::Region::circular({40, 40}, 100, "app" + std::to_string(i)),
                               std::nullopt);
    auto enterOnly = platform::Region::circular({0, 0.01}, 200, "enterOnly");
    enterOnly.notifyOnExit = false;
    manager->startMonitoringForRegion(platform::Region::circular({0, 0}, 100, "here"));  // already inside
    manager->startMonitoringForRegion(enterOnly);
    manager->startMonitoringForRegion(platform::Region::circular({0, 1}, 100, "tooMany"));
    enterOnly.radius = 300;
    manager->startMonitoringForRegion(enterOnly);  // replaces the first
    manager->startMonitoringForRegion(platform::Region::circular({5, 5}, 5001, "app0"));  // too wide
    manager->requestStateForRegion(platform::Region::circular({0, 0}, 100, "here"));
    env.runUntilIdle();
    EXPECT_EQ(listener->failures,
              (std::vector<std::string>{"tooMany kCLErrorDomain 5", "app0 kCLErrorDomain 5"}));
    EXPECT_EQ(manager->monitoredRegions().size(), 20u);
    EXPECT_EQ(listener->events, (std::vector<std::string>{"state here 1"}));  // no entry for "here"

    listener->events.clear();
    env.location->position()->set({0, 0.01});  // leaves "here" (exit), enters the replaced "enterOnly"
    env.location->position()->set({0, 0.05});  // leaves "enterOnly" silently: it does not notify on exit
    env.location->position()->set({0, 0});
    env.runUntilIdle();
    EXPECT_EQ(listener->events, (std::vector<std::string>{"-here", "+enterOnly", "+here"}));
    EXPECT_EQ(regions->state("enterOnly"), platform::RegionState::Outside);
}

TEST_F(LocationWorldTest, BeaconRegionIsInsideWhileABeaconIsInReachAndPassesComeEverySecond) {
    platform::ProximityUuid uuid{1, 2, 3};
    env.location->position()->set({0, 0});
    auto region = platform::Region::beacon(uuid, "b");
    manager->startMonitoringForRegion(region);
    env.location->beacons()->place(sim::PlacedBeacon{uuid, 7, 1, {0, 0.00004}, 30});  // about 4 m away
    env.location->beacons()->place(sim::PlacedBeacon{uuid, 7, 2, {0, 0.0002}, 30});   // about 22 m
    env.location->beacons()->place(sim::PlacedBeacon{{9}, 7, 3, {0, 0}, 30});         // another UUID
    manager->startRangingBeaconsInRegion(region);
    env.advanceBy(3.5);
    EXPECT_EQ(listener->events, (std::vector<std::string>{"+b"}));
    ASSERT_EQ(listener->passes.size(), 3u);
    ASSERT_EQ(listener->passes[0].size(), 2u);
    EXPECT_EQ(listener->passes[0][0].minor, 1);
    EXPECT_EQ(listener->passes[0][0].proximity, platform::BeaconProximity::Near);
    EXPECT_EQ(listener->passes[0][1].proximity, platform::BeaconProximity::Far);

    env.location->position()->set({0, 0.01});
    manager->stopRangingBeaconsInRegion(region);
    env.advanceBy(3);
    EXPECT_EQ(listener->events, (std::vector<std::string>{"+b", "-b"}));
    EXPECT_EQ(listener->passes.size(), 3u);
}

TEST_F(LocationWorldTest, SignificantChangesFollowMovesOfTheThresholdOnARoute) {
    env.location->significantChanges()->setThreshold(1000);
    auto route = sim::Route::parse("0 0 0\n3600 0 0.1\n");  // about 11.1 km in an hour
    env.location->position()->follow(*route);
    manager->startMonitoringSignificantLocationChanges();
    for (int i = 0; i < 65; ++i) env.advanceBy(60);
    EXPECT_EQ(listener->fixes.size(), 11u);
    for (const auto& f : listener->fixes) EXPECT_DOUBLE_EQ(f.horizontalAccuracy, 150);
    manager->stopMonitoringSignificantLocationChanges();
    env.location->significantChanges()->trigger();
    env.runUntilIdle();
    EXPECT_EQ(listener->fixes.size(), 11u);
}

}  // namespace
}  // namespace zarn
