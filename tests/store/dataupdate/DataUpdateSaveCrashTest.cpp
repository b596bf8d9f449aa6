// A save killed at any point leaves the file with the old or the new data, never a mix: a child
// process saves a large update and dies by SIGKILL at a chosen point of its work, then the file
// is opened again the way the library opens it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "core/ZarnPPublicLogging.h"
#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteNotificationAreaDao.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "tests/store/CrashTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

class SilentPublicLog final : public ZarnPPublicLogging {
  public:
    void logMessageIfEnabledAndArguments(const std::shared_ptr<ZarnPContext>&, std::string_view,
                                         const std::vector<FormatArg>&) override {}
};

// A full update that replaces everything: `count` notifications over 10 tiles and 20 campaigns,
// each with a custom field and a trigger property, every text marked with `tag`.
std::vector<uint8_t> largeUpdate(const std::string& tag, int count) {
    sim::DataUpdateDescription d{.deleteAllOldData = true};
    for (int c = 0; c < 20; ++c)
        d.campaigns.push_back({.campaignId = tag + "c" + std::to_string(c), .message = tag + " message"});
    for (int t = 0; t < 10; ++t)
        d.tiles.push_back({.value = tag + "t" + std::to_string(t), .lastVersion = t});
    for (int n = 0; n < count; ++n)
        d.tiles[n % 10].notifications.push_back({.campaign = tag + "c" + std::to_string(n % 20),
                                                 .geofenceId = tag + "g" + std::to_string(n),
                                                 .location = sim::DataUpdateLocation{52.0f + n * 1e-5f, 4.0f},
                                                 .matchRange = 100,
                                                 .customRegionFields = {{"field", tag + std::to_string(n)}},
                                                 .triggerProperties = {{"property", tag}}});
    d.cooldownGroups.push_back({.id = "group", .value = count});
    return sim::DataUpdateBuilder::build(d);
}

// Every row of the data-update tables, in one text.
std::string contents(const std::string& path) {
    test::RawSqlite raw(path);
    std::string out;
    for (const char* sql :
         {"SELECT id || version || value FROM geohash ORDER BY id",
          "SELECT geohashid || '-' || notificationid FROM geohash_notification ORDER BY 1",
          "SELECT id || campaignid || geofence_id || latitude || longitude FROM notification ORDER BY id",
          "SELECT id || server_id || message FROM campaign ORDER BY id",
          "SELECT notificationid || value FROM custom_region_fields ORDER BY 1",
          "SELECT notificationid || value FROM trigger_properties ORDER BY 1",
          "SELECT id || value FROM cooldown_group ORDER BY 1"}) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(raw.handle(), sql, -1, &stmt, nullptr) != SQLITE_OK)
            return std::string("unreadable: ") + sqlite3_errmsg(raw.handle());
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(stmt, 0);
            out += text ? reinterpret_cast<const char*>(text) : "NULL";
            out += '\n';
        }
        sqlite3_finalize(stmt);
        out += "--\n";
    }
    return out;
}

struct Saver {
    explicit Saver(const std::string& path)
        : db(std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem)) {
        db->disableThreadCheck();
        db->setOpenRetryDelay(std::chrono::milliseconds(0));
    }
    sqlite3* handle() { return test::sqliteHandle(*db); }
    void save(const std::vector<uint8_t>& buffer) {
        orchestrator.save(*ZarnPDataUpdateReader::read(std::span<const uint8_t>(buffer)), nullptr);
    }

    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<SilentPublicLog> log = std::make_shared<SilentPublicLog>();
    ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator{db, log};
};

TEST(DataUpdateSaveCrashTest, AKilledSaveLeavesTheOldOrTheNewData) {
    test::SyncsSkipped noSyncs;
    test::TestEnvironment env;
    std::filesystem::create_directories(env.path("Documents"));
    const std::string path = env.path("Documents/zarn.db");
    const std::vector<uint8_t> updates[2] = {largeUpdate("a", 900), largeUpdate("b", 1000)};

    // The two states, and how long a save from one to the other runs, on a scratch file.
    std::string expected[2];
    long long saveLength = 0;
    {
        const std::string scratch = env.path("Documents/scratch.db");
        Saver saver(scratch);
        saver.save(updates[0]);
        expected[0] = contents(scratch);
        test::KillPoint count;
        sqlite3_progress_handler(saver.handle(), test::kInstructionsPerCallback, &test::KillPoint::onProgress,
                                 &count);
        saver.save(updates[1]);
        expected[1] = contents(scratch);
        saveLength = count.calls;
    }
    ASSERT_GT(saveLength, 100);
    ASSERT_NE(expected[0], expected[1]);
    {
        Saver saver(path);
        saver.save(updates[0]);
        // Kept with the rows from here on: every reopening below checks that they agree.
        ASSERT_TRUE(ZarnPSqLiteNotificationAreaDao::isWhole(*saver.db->database()));
    }

    // Kill points spread over the whole save, the last ones past its end.
    constexpr int kRuns = 24;
    int state = 0;
    int completed = 0;
    for (int run = 0; run < kRuns; ++run) {
        int target = 1 - state;
        long long killAt = 1 + saveLength * run / (kRuns - 4);
        // Every fourth save finds the index gone and builds it with its rows.
        if (run % 4 == 3) {
            ASSERT_TRUE(test::RawSqlite(path).exec("DROP TABLE notification_area"));
        }
        test::ChildEnd end = test::runInChild([&] {
            Saver saver(path);
            // A small page cache spills pages into the log before the commit.
            saver.db->database()->executeUpdate("PRAGMA cache_size = 20");
            test::KillPoint point{.killAt = killAt};
            sqlite3_progress_handler(saver.handle(), test::kInstructionsPerCallback,
                                     &test::KillPoint::onProgress, &point);
            saver.save(updates[target]);
            return true;
        });
        bool killed = end.killed;
        bool finished = end.finished;
        ASSERT_TRUE(killed || finished) << "run " << run << ": status " << end.status;
        if (finished) {
            state = target;
            ++completed;
        }

        test::expectOpensCleanly(path, 22, "run " + std::to_string(run));
        if (::testing::Test::HasFatalFailure())
            return;
        std::string now = contents(path);
        ASSERT_TRUE(now == expected[state]) << "run " << run << (killed ? " (killed)" : " (finished)")
                                            << ": the file holds neither the old nor the new data";
    }
    EXPECT_GE(completed, 3);
    EXPECT_LT(completed, kRuns);
    EXPECT_FALSE(std::filesystem::exists(path + ".damaged")) << "the file was moved aside as damaged";
}

}  // namespace
}  // namespace zarn
