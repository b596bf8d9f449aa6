// What a geofence match run costs the disk: the fdatasync calls of single runs through the started
// library (the fix handed to the match-run dispatch, the show pass on the loop): a run's writes one
// commit at most, a notification shown one more, and a run that changes nothing no sync at all.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/exchange/ZarnPDataUpdateDao.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPFenceDaoDelegate.h"
#include "schema/dataupdate_generated.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPMatchRunDispatching.h"
#include "sim/Device.h"
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
    // One geofence match run with an accurate fix at `lon`; the syncs it cost.
    uint64_t runAt(double lon) {
        env.advanceBy(11);  // past the nearest cache
        auto m = module();
        auto& vfs = test::SyncCountingVfs::install();
        uint64_t before = vfs.syncs();
        m->timerDao()->invokeBlockOnRunLoop(
            [&] {
                m->fenceMatchService()->setPerformGeofenceMatchRun(true);
                m->fenceMatchService()->locationAcquired(
                    std::make_shared<ZarnPLocationWithAccuracy>(kLat, lon, 10),
                    std::make_shared<ZarnPBackgroundTask>(1, nullptr),
                    m->contextService()->startContext(ZarnTriggerContextGeofence));
            },
            true);
        env.runUntilIdle();
        return vfs.syncs() - before;
    }
    // A location update of the library begun on the SDK thread, run to its end (the fix's latency,
    // the data update's answer); the syncs it cost.
    uint64_t updateRun(const std::function<void(ZarnPModule&)>& begin) {
        env.advanceBy(130);  // past the freshness of the last run
        auto m = module();
        auto& vfs = test::SyncCountingVfs::install();
        uint64_t before = vfs.syncs();
        m->timerDao()->invokeBlockOnRunLoop([&] { begin(*m); }, true);
        env.advanceBy(40);
        return vfs.syncs() - before;
    }
    size_t delivered() { return env.device->localNotificationCenter()->deliveredNotifications().size(); }
};

TEST_F(GeofenceMatchSyncTest, EachRunCommitsItsChangesOnceAndARunThatChangesNothingNever) {
    test::SyncCountingVfs::install();  // before the library opens its file
    start();

    struct Step {
        const char* what;
        double lon;
        uint64_t syncs;
        size_t delivered;
    };
    // The run's own writes (state, has-to-leave set, segmentation history) are one commit; a
    // notification shown records its sent event, its sent row, the last-match date and its
    // has-to-leave mark in one more, after the app's filter has answered.
    const Step steps[] = {
        {"away from every fence: nothing to write", kAway, 0, 0},
        {"into the entry fence: the run's writes, then the notification shown", kEntry, 2, 1},
        {"still inside it: nothing changes", kEntry, 0, 1},
        {"on to the exit fence: the entry fence left and the exit fence marked entered at once", kExit, 1, 1},
        {"still inside the exit fence: the mark renewed in one commit", kExit, 1, 1},
        {"out of the exit fence: its mark gone with the run, its notification shown", kAway, 2, 2},
        {"away again: nothing changes", kAway, 0, 2},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(runAt(step.lon), step.syncs) << step.what;
        EXPECT_EQ(delivered(), step.delivered) << step.what;
    }
}

TEST_F(GeofenceMatchSyncTest, ALocationUpdateWritesItsSettingsAndEventsInOneCommitPerStep) {
    test::SyncCountingVfs::install();
    start();
    env.device->application()->resignActive();  // no update timer: only the test's runs
    // A region event's fix: the time of the run and its event in one commit; the run matches
    // nothing.
    EXPECT_EQ(updateRun([](ZarnPModule& m) {
                  std::dynamic_pointer_cast<ZarnPFenceDaoDelegate>(m.fenceMatchService())
                      ->fenceDaoDidEnterGeofence("zarn-g");
              }),
              1u);
    // An hour on, a full update with a data update from a new place: the place in one commit, the
    // failed exchange's error event, the run's end.
    env.location->position()->set({kLat, kAway + 0.1});
    env.advanceBy(3600);
    EXPECT_EQ(updateRun([](ZarnPModule& m) {
                  m.locationUpdateService()->performFullUpdate(m.contextService()->startContext(0));
              }),
              3u);
    EXPECT_EQ(delivered(), 0u);
}

}  // namespace
}  // namespace zarn
