// What a geofence match run costs the disk: the commits and fdatasync calls of single runs through
// the started library, each begun as the system begins one (a region event, the fix the run asks
// for, the show pass on the loop): the fix's own commit first, then a run's writes one commit at
// most, both unsynced, a notification shown one more, synced before the system and the app hear of
// it, and a run that changes nothing no commit of its own.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sim/Device.h"
#include "sim/FixModel.h"
#include "sim/LocationWorld.h"
#include "sim/service/DataUpdateBuilder.h"
#include "testing/SyncCountingVfs.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

constexpr double kLat = 52.52;
// About 680 m apart along the parallel: far outside each other's range and margin.
constexpr double kAway = 13.3800, kEntry = 13.3900, kExit = 13.4000;

class GeofenceMatchSyncTest : public test::StartedLibraryTest {
  protected:
    void start() {
        env.location->significantChanges()->setThreshold(1e9);  // only the test's runs
        env.location->position()->set({kLat, kAway});
        auto c = ZarnConfiguration::create();
        c->setPublicToken(std::string("token-1"));
        c->setDelegate(std::make_shared<ZarnDelegate>());
        ZarnBase::performInitializationWithConfiguration(c);
        env.runUntilIdle();
        env.advanceBy(10);
        sim::DataUpdateDescription d{
            .campaigns = {{.campaignId = "in", .message = "Hello"},
                          {.campaignId = "out", .message = "Bye", .triggerOnExit = true}}};
        d.tiles.push_back(
            {.value = "u33d",
             .notifications = {{.campaign = "in",
                                .geofenceId = "g",
                                .location = {{static_cast<float>(kLat), static_cast<float>(kEntry)}},
                                .matchRange = 100},
                               {.campaign = "out",
                                .geofenceId = "g",
                                .location = {{static_cast<float>(kLat), static_cast<float>(kExit)}},
                                .matchRange = 100}}});
        saveDataUpdate(d);
        env.runUntilIdle();
    }
    // What a stretch of the library's work wrote to the log.
    struct Cost {
        uint64_t commits;
        uint64_t syncs;
        bool operator==(const Cost&) const = default;
    };
    static Cost costSince(const Cost& before) {
        auto& vfs = test::SyncCountingVfs::install();
        return {vfs.logCommits() - before.commits, vfs.syncs() - before.syncs};
    }
    static Cost now() { return costSince({0, 0}); }
    // The system reports an entry into a geofence of the library's to each of its location
    // managers.
    void enterRegion() {
        platform::Region region;
        region.identifier = "zarn-g";
        region.center = {kLat, kEntry};
        region.radius = 100;
        env.location->broadcast(
            [region](platform::LocationManagerDelegate& d) { d.locationManagerDidEnterRegion(region); });
    }
    // One geofence match run with an accurate fix at `lon`: a region event, then the fix the run
    // asks for, delivered at `lon` while the device stays where it is (so that no region is
    // crossed); what it all cost.
    Cost runAt(double lon) {
        env.advanceBy(11);  // past the nearest cache and the freshness of the last fix
        Cost before = now();
        platform::LocationFix fix;
        fix.latitude = kLat;
        fix.longitude = lon;
        fix.horizontalAccuracy = 10;
        fix.timestamp = env.time->now();
        env.location->fixes()->queueFix(fix);
        enterRegion();
        env.advanceBy(5);  // the fix's latency, the run, the show pass
        return costSince(before);
    }
    // A location update of the library begun by `begin`, run to its end (the fix's latency, the
    // data update's answer); what it cost.
    Cost updateRun(const std::function<void()>& begin) {
        env.advanceBy(130);  // past the freshness of the last run
        Cost before = now();
        begin();
        env.advanceBy(40);
        return costSince(before);
    }
    size_t delivered() { return env.device->localNotificationCenter()->deliveredNotifications().size(); }
};

TEST_F(GeofenceMatchSyncTest, EachRunCommitsItsChangesOnceAndARunThatChangesNothingNever) {
    test::SyncCountingVfs::install();  // before the library opens its file
    start();
    env.device->application()->resignActive();  // no update timer: only the test's runs

    struct Step {
        const char* what;
        double lon;
        Cost cost;
        size_t delivered;
    };
    // Every run begins with its fix's commit: the time of the run and its location event. The
    // run's own writes (state, has-to-leave set, segmentation history) are one commit more; none
    // of it is told to anyone. A notification shown records its sent event, its sent row, the
    // last-match date and its has-to-leave mark in one more, after the app's filter has answered,
    // and that one is synced, with the run's before it.
    const Step steps[] = {
        {"away from every fence: the fix's only", kAway, {1, 0}, 0},
        {"into the entry fence: the run's writes, then the notification shown", kEntry, {3, 1}, 1},
        {"still inside it: nothing changes", kEntry, {1, 0}, 1},
        {"on to the exit fence: the entry fence left and the exit fence marked entered at once",
         kExit,
         {2, 0},
         1},
        {"still inside the exit fence: the mark renewed in one commit", kExit, {2, 0}, 1},
        {"out of the exit fence: its mark gone with the run, its notification shown", kAway, {3, 1}, 2},
        {"away again: nothing changes", kAway, {1, 0}, 2},
    };
    for (const auto& step : steps) {
        Cost cost = runAt(step.lon);
        EXPECT_EQ(cost.commits, step.cost.commits) << step.what;
        EXPECT_EQ(cost.syncs, step.cost.syncs) << step.what;
        EXPECT_EQ(delivered(), step.delivered) << step.what;
    }
}

TEST_F(GeofenceMatchSyncTest, ALocationUpdateWritesItsSettingsAndEventsInOneCommitPerStep) {
    test::SyncCountingVfs::install();
    start();
    env.device->application()->resignActive();  // no update timer: only the test's runs
    // A region event's fix: the time of the run and its event in one commit; the run matches
    // nothing. None of it is told to anyone: no sync.
    EXPECT_EQ(updateRun([&] { enterRegion(); }), (Cost{1, 0}));
    // An hour on, a full update with a data update from a new place, as the app's contextual page
    // request runs one: the place in one commit, the failed exchange's error event, the run's end;
    // still no sync.
    env.location->position()->set({kLat, kAway + 0.1});
    env.advanceBy(3600);
    EXPECT_EQ(updateRun([] { ZarnBase::requestContextualPage([](std::optional<Value>) {}); }), (Cost{3, 0}));
    EXPECT_EQ(delivered(), 0u);
}

}  // namespace
}  // namespace zarn
