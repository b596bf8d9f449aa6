// The bound on what a power loss can take: a commit of the Normal tier made by the started library
// is in the file as a power cut would leave it no later than 15 minutes after it was made, and as
// soon as the app has entered the background; a library with nothing unsynced syncs nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "sim/Device.h"
#include "sim/SimBackgroundTasks.h"
#include "testing/PowerCutVfs.h"
#include "testing/SyncCountingVfs.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/StartedLibrary.h"

namespace zarn {
namespace {

class SyncDeadlineTest : public test::StartedLibraryTest {
  protected:
    void SetUp() override {
        test::SyncCountingVfs::install();  // under the cut layer, both before the file opens
        cuts.watch(env.path("Documents"));
        StartedLibraryTest::SetUp();
    }
    void TearDown() override {
        StartedLibraryTest::TearDown();
        cuts.stopWatching();
    }

    // Stores an event of its own on the SDK thread: a commit of the Normal tier.
    void storeMarker(const std::string& id) {
        auto g = ground();
        g->onSdk([&] {
            g->events()->saveEvent(ZarnPEvent(id, ZarnPLogEventTypeDebuglogEntry, now(), Value::object()));
        });
    }
    Date now() { return env.time->now(); }
    // Whether the marker is in the file as a power cut now would leave it.
    bool survivesACut(const std::string& id) {
        std::string into = env.path("cut" + std::to_string(++cutCount_));
        cuts.copyInto(into, true);
        test::RawSqlite raw(into + "/zarn.db");
        return raw.integer("SELECT COUNT(*) FROM events WHERE identifier = '" + id + "'") == 1;
    }

    test::PowerCutVfs& cuts = test::PowerCutVfs::install();

  private:
    int cutCount_ = 0;
};

TEST_F(SyncDeadlineTest, AnUnsyncedCommitIsSyncedWithinTheDeadlineAndWhenTheAppGoesToTheBackground) {
    env.location->significantChanges()->setThreshold(1e9);  // only the test's writes
    initialize();
    env.device->application()->resignActive();
    env.advanceBy(3600);  // what the start and the move to the background wrote is synced by now

    // A quiet library neither commits nor syncs.
    auto& disk = test::SyncCountingVfs::install();
    disk.reset();
    env.advanceBy(2 * 3600);
    EXPECT_EQ(disk.logCommits(), 0u);
    EXPECT_EQ(disk.syncs(), 0u);

    // The deadline: 15 minutes after the first unsynced commit, whatever came after it.
    storeMarker("first");
    EXPECT_FALSE(survivesACut("first"));
    env.advanceBy(600);
    storeMarker("second");
    env.advanceBy(299);
    EXPECT_FALSE(survivesACut("first"));
    uint64_t before = disk.walSyncs();  // the cuts' own readings of the copies sync too
    env.advanceBy(2);
    EXPECT_EQ(disk.walSyncs() - before, 1u);
    EXPECT_TRUE(survivesACut("first"));
    EXPECT_TRUE(survivesACut("second"));

    // The app leaving the foreground syncs at once what was committed before, both when it
    // resigns active and when it enters the background, under a background task begun when the
    // app was told, so that a suspended app still makes it; the task ends with the sync.
    auto tasks = env.device->backgroundTasks();
    // How many of the tasks begun after the first `from` are running.
    auto runningOf = [&](const std::vector<platform::BackgroundTaskIdentifier>& begun, size_t from) {
        auto running = tasks->runningBackgroundTasks();
        size_t count = 0;
        for (size_t i = from; i < begun.size(); ++i)
            count += static_cast<size_t>(std::count(running.begin(), running.end(), begun[i]));
        return count;
    };
    for (bool wholeSwitch : {false, true}) {
        env.advanceBy(3600);
        env.device->application()->becomeActive();
        env.advanceBy(5);
        std::string marker = wholeSwitch ? "entered" : "resigned";
        storeMarker(marker);
        const size_t begunBefore = tasks->begunBackgroundTasks().size();
        std::atomic<bool> syncedUnderANewTask{false};
        cuts.setCutHook([&](uint64_t, bool sync) {
            if (sync && runningOf(tasks->begunBackgroundTasks(), begunBefore) > 0)
                syncedUnderANewTask = true;
        });
        if (wholeSwitch)
            env.device->application()->enterBackgroundFromForeground();
        else
            env.device->application()->resignActive();
        env.runUntilIdle();
        cuts.setCutHook(nullptr);
        EXPECT_TRUE(syncedUnderANewTask) << marker;
        EXPECT_EQ(runningOf(tasks->begunBackgroundTasks(), begunBefore), 0u) << marker;
        EXPECT_TRUE(survivesACut(marker)) << marker;
    }
}

}  // namespace
}  // namespace zarn
