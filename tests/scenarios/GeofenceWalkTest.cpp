// The whole library on the simulated device: three geofences registered through the region
// wrapper, a walk past them, and in order the entries and exits the system reported and the match
// runs the dispatch started for each. The app is in the background, so only region events start
// runs.
#include <gtest/gtest.h>

#include <memory>

#include "entry/ZarnBaseTesting.h"
#include "entry/ZarnPModule.h"
#include "sim/Device.h"
#include "sim/Route.h"
#include "sim/service/DataUpdateBuilder.h"
#include "tests/support/ModuleGround.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/platform/NotificationCenter.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

class GeofenceWalkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::resetEntry();
        testing::setModuleFactory([this](std::shared_ptr<ZarnPZarnConfiguration> c) {
            ground = std::make_shared<test::ModuleGround>();
            module = ground->build(std::move(c));
            return module;
        });
        center->addObserver(this, "Zarn_Location_Update_Completed",
                            [this](const platform::Broadcast&) { ++completedRuns; });
    }
    void TearDown() override {
        center->removeObserver(this);
        module.reset();
        testing::resetEntry();
        ground.reset();
        testing::setModuleFactory(nullptr);
        env.runUntilIdle();
    }
    // The region lines and match runs of the log, in order.
    std::vector<std::string> story() {
        std::vector<std::string> out;
        for (auto& line : env.console->lines()) {
            // After a restart in the same process the region callback is logged once per
            // location manager the device still knows: one line per crossing is kept.
            for (const char* key : {"didEnterRegion: ", "didExitRegion: "})
                if (auto at = line.find(key);
                    at != std::string::npos && (out.empty() || out.back() != line.substr(at)))
                    out.push_back(line.substr(at));
            if (line.find("Performing geofence matchrun") != std::string::npos)
                out.push_back("match run");
        }
        return out;
    }

    test::TestEnvironment env;
    std::shared_ptr<platform::NotificationCenter> center = platform::defaultCenter();
    std::shared_ptr<ZarnPModule> module;
    std::shared_ptr<test::ModuleGround> ground;  // the SDK thread and the file of the module
    std::atomic<int> completedRuns{0};
};

TEST_F(GeofenceWalkTest, EntriesExitsAndMatchRunsInOrder) {
    auto world = env.location;
    world->position()->set({52.5200, 13.4000});
    world->significantChanges()->setThreshold(1e9);  // only region events start runs
    auto initialize = [] {
        auto c = ZarnConfiguration::create();
        c->setPublicToken(std::string("token-1"));
        c->setDelegate(std::make_shared<ZarnDelegate>());
        ZarnBase::performInitializationWithConfiguration(c);
    };
    initialize();
    env.advanceBy(10);  // the first full update runs
    ASSERT_TRUE(module);
    ASSERT_TRUE(ZarnBase::isEnabled());

    // About 680 m apart along the walk; the first and last also watch the exit. Stored as
    // campaigns, they become the monitored regions at the next start's match run.
    sim::DataUpdateDescription d{.campaigns = {{.campaignId = "x", .message = "exit", .triggerOnExit = true},
                                               {.campaignId = "n", .message = "enter"}}};
    auto at = [](const char* campaign, const char* id, float lon) {
        return sim::DataUpdateNotification{
            .campaign = campaign, .geofenceId = id, .location = {{52.52f, lon}}, .matchRange = 100};
    };
    d.tiles.push_back(
        {.value = "u33d",
         .notifications = {at("x", "g1", 13.4050f), at("n", "g2", 13.4150f), at("x", "g3", 13.4250f)}});
    auto bytes = sim::DataUpdateBuilder::build(d);
    ground->onSdk([&] { ground->saveDataUpdate(bytes); });
    // The next start begins with a geofence match run on what is stored.
    testing::resetEntry();
    module.reset();
    ground.reset();
    env.runUntilIdle();
    env.advanceBy(3600);
    initialize();
    env.advanceBy(10);
    ASSERT_TRUE(module);
    env.device->application()->resignActive();
    env.advanceBy(1);
    size_t before = story().size();
    int runsBefore = completedRuns;
    EXPECT_EQ(world->regions()->requests(),
              (std::vector<std::string>{"+zarn-x;g1", "+zarn-n;g2", "+zarn-x;g3"}));

    // 2.7 km east in 40 minutes, sampled every second.
    world->position()->follow(sim::Route({{0, {52.5200, 13.4000}}, {2400, {52.5200, 13.4400}}}));
    for (int minute = 0; minute < 42; ++minute) env.advanceBy(60);

    using C = sim::RegionRegistry::Crossing;
    EXPECT_EQ(world->regions()->crossings(), (std::vector<C>{{"zarn-x;g1", true},
                                                             {"zarn-x;g1", false},
                                                             {"zarn-n;g2", true},
                                                             {"zarn-x;g3", true},
                                                             {"zarn-x;g3", false}}));
    auto all = story();
    auto walk = std::vector<std::string>(all.begin() + static_cast<long>(before), all.end());
    EXPECT_EQ(walk, (std::vector<std::string>{
                        "didEnterRegion: zarn-x;g1", "match run", "didExitRegion: zarn-x;g1", "match run",
                        "didEnterRegion: zarn-n;g2", "match run", "didEnterRegion: zarn-x;g3", "match run",
                        "didExitRegion: zarn-x;g3", "match run"}));
    EXPECT_EQ(completedRuns - runsBefore, 5);
    EXPECT_TRUE(env.device->backgroundTasks()->runningBackgroundTasks().empty());
    EXPECT_TRUE(env.device->backgroundTasks()->overdueBackgroundTasks().empty());
}

}  // namespace
}  // namespace zarn
