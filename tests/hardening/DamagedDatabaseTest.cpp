// A zarn.db that SQLite cannot use, or that another schema owns, met at start-up through the
// public entry: the library keeps running, stores again, and never loses the user's opt-out.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "sim/LocationWorld.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/TestService.h"
#include "testing/SyncCountingVfs.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/CaseNames.h"
#include "tests/support/ScenarioDoubles.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"

namespace zarn {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const std::string& path, const std::string& bytes, std::ios::openmode mode = std::ios::trunc) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | mode);
    out << bytes;
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string bytes(n, '\0');
    for (auto& c : bytes) c = static_cast<char>(gen());
    return bytes;
}

void exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
}

// A real database of many pages, whose pages after the first are then overwritten: the header
// still says SQLite, the content does not.
void writeCorruptPages(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    exec(db, "CREATE TABLE filler (x BLOB)");
    exec(db,
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
         "INSERT INTO filler SELECT randomblob(900) FROM n");
    sqlite3_close(db);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4096);
    auto garbage = randomBytes(64 * 1024, 7);
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
}

// A file the library did not make: its settings table has other columns.
void writeForeignSchema(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    exec(db, "CREATE TABLE keyvalue (k TEXT, v TEXT)");
    exec(db, "INSERT INTO keyvalue VALUES ('zarn_enabled', 'disabled')");
    sqlite3_close(db);
}

int storedVersion(const std::string& path) {
    sqlite3* db = nullptr;
    int version = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT v FROM version", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            version = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return version;
}

// Overwrites every page of the named tables (root pages included) with bytes SQLite cannot read,
// once the log is folded into the file: the header and the schema stay whole.
void corruptPagesOf(const std::string& path, const std::string& tables) {
    std::vector<long long> pages;
    {
        test::RawSqlite raw(path);
        ASSERT_TRUE(raw.exec("PRAGMA wal_checkpoint(TRUNCATE)"));
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(raw.handle(),
                                     ("SELECT pageno FROM dbstat WHERE name IN (" + tables + ")").c_str(), -1,
                                     &st, nullptr),
                  SQLITE_OK);
        while (sqlite3_step(st) == SQLITE_ROW) pages.push_back(sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
    }
    ASSERT_FALSE(pages.empty());
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    for (long long page : pages) {
        file.seekp((page - 1) * 4096);
        auto garbage = randomBytes(4096, static_cast<unsigned>(page));
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
}

// `count` geofences of one campaign around 52, 13.
sim::DataUpdateDescription storedCampaigns(int count) {
    sim::DataUpdateDescription d{.deleteAllOldData = true,
                                 .campaigns = {{.campaignId = "c", .message = "hello"}},
                                 .tiles = {{.value = "u33"}}};
    for (int i = 0; i < count; ++i)
        d.tiles[0].notifications.push_back({.campaign = "c",
                                            .geofenceId = "g" + std::to_string(i),
                                            .location = {{52.0f + 0.001f * static_cast<float>(i % 40),
                                                          13.0f + 0.001f * static_cast<float>(i / 40)}},
                                            .matchRange = 100});
    return d;
}

class DamagedDatabaseTest : public test::StartedLibraryTest {
  protected:
    std::string db() { return env.path("Documents/zarn.db"); }
    size_t loadedCount() {
        auto loaded = ZarnBase::loadedNotifications();
        return loaded ? loaded->size() : 0;
    }
};

TEST_F(DamagedDatabaseTest, FileOfRandomBytesIsMovedAsideWithItsLogsAndTheOptOutSurvives) {
    auto bytes = randomBytes(16 * 1024, 1);
    writeAll(db(), bytes);
    auto oldLog = randomBytes(4096, 2);
    writeAll(db() + "-wal", oldLog);
    writeAll(db() + "-shm", randomBytes(4096, 3));

    initialize();
    // A fresh file: the first start enables as configured.
    EXPECT_EQ(broadcasts(), (std::vector<std::string>{"Zarn_Initialized", "Zarn_Enabled"}));
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), 1);
    EXPECT_EQ(readAll(db() + ".damaged"), bytes);
    // SQLite may drop a log it cannot use, but none may stay beside the new file.
    EXPECT_NE(readAll(db() + "-wal").substr(0, oldLog.size()), oldLog);
    EXPECT_EQ(storedVersion(db()), 22);

    ZarnBase::disable();
    env.runUntilIdle();
    restart();
    initialize(/*enableOnFirstRun=*/true);
    EXPECT_EQ(broadcasts(), (std::vector<std::string>{"Zarn_Initialized"}));
    EXPECT_FALSE(ZarnBase::isEnabled());
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), 1);  // the new file is not moved again
}

// The start reads the header and the schema only; the corrupt pages are found once the start and
// its first match run are over, and the file is set aside then.
TEST_F(DamagedDatabaseTest, ValidHeaderOverCorruptPagesIsFoundAndStartedAnew) {
    writeCorruptPages(db());
    initialize();
    EXPECT_EQ(broadcasts(), (std::vector<std::string>{"Zarn_Initialized", "Zarn_Enabled"}));
    env.advanceBy(60);
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), 0);
    env.advanceBy(61);
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), 1);
    EXPECT_TRUE(std::filesystem::exists(db() + ".damaged"));
    EXPECT_EQ(storedVersion(db()), 22);
    ZarnBase::disable();
    env.runUntilIdle();
    restart();
    initialize(/*enableOnFirstRun=*/true);
    EXPECT_FALSE(ZarnBase::isEnabled());
}

// Corrupt pages of the campaigns' tables under a whole header and schema: the start keeps the
// user's choice and stores what it is given; the file is set aside once the damage is met, at the
// opening when a step of the opening reads those pages, else at the whole-file check.
TEST_F(DamagedDatabaseTest, CorruptCampaignPagesNeverKeepTheLibraryOffAndTheFileIsSetAside) {
    for (bool indexMissing : {false, true}) {
        SCOPED_TRACE(indexMissing ? "index missing" : "index whole");
        for (const char* suffix :
             {"", "-wal", "-shm", "-checked", ".damaged", ".damaged-wal", ".damaged-shm"})
            std::filesystem::remove(db() + suffix);
        initialize(/*enableOnFirstRun=*/false);
        ZarnBase::enable();
        env.runUntilIdle();
        saveDataUpdate(storedCampaigns(2000));
        restart();
        if (indexMissing) {
            ASSERT_TRUE(test::RawSqlite(db()).exec("DROP TABLE notification_area"));
        }
        corruptPagesOf(db(), "'notification', 'polygon', 'campaign'");
        int setAside = env.consoleCount("ERROR|SqLiteDb| Database at");

        initialize(/*enableOnFirstRun=*/false);
        EXPECT_TRUE(ZarnBase::isEnabled());
        EXPECT_EQ(env.consoleCount("Database left at version"), 0);
        EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), setAside + (indexMissing ? 1 : 0));
        env.advanceBy(121);
        EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), setAside + 1);
        EXPECT_TRUE(std::filesystem::exists(db() + ".damaged"));
        EXPECT_EQ(storedVersion(db()), 22);
        // The new file took the choice over and stores again.
        EXPECT_EQ(test::RawSqlite(db()).text("SELECT value FROM keyvalue WHERE \"key\" = 'zarn_enabled'"),
                  std::optional<std::string>("enabled"));
        restart();
        initialize(/*enableOnFirstRun=*/false);
        EXPECT_TRUE(ZarnBase::isEnabled());
        restart();
    }
}

// The nearest reads' index lost, and a full disk at the next start: the start runs as usual on
// the full statement, and builds the index once it can.
TEST_F(DamagedDatabaseTest, AnIndexThatCannotBeBuiltAtTheStartCostsNoStart) {
    auto& disk = test::SyncCountingVfs::install();  // before the file opens
    initialize();
    saveDataUpdate(storedCampaigns(150));
    restart();
    // The place the loaded notifications are listed around.
    ASSERT_TRUE(test::RawSqlite(db()).exec(
        "INSERT OR REPLACE INTO keyvalue (\"key\", value) VALUES ('zarn_last_match_location_latitude', "
        "'52'), ('zarn_last_match_location_longitude', '13'), ('zarn_last_match_location_accuracy', '10'); "
        "DROP TABLE notification_area"));

    disk.setDiskFull(true);
    initialize();
    disk.setDiskFull(false);
    EXPECT_TRUE(ZarnBase::isEnabled());
    EXPECT_EQ(env.consoleCount("Database left at version"), 0);
    EXPECT_EQ(loadedCount(), 150u);
    EXPECT_GT(env.consoleCount("The nearest reads run without their index"), 0);
    restart();
    initialize();
    EXPECT_EQ(test::RawSqlite(db()).integer("SELECT COUNT(*) FROM notification_area"), 150);
}

// Another connection drops the index while the library runs, its triggers left behind: saves and
// the clearing of all data still write, and the save builds the index again.
TEST_F(DamagedDatabaseTest, AnIndexDroppedByAnotherConnectionFailsNoWrite) {
    initialize();
    saveDataUpdate(storedCampaigns(150));
    ASSERT_TRUE(test::RawSqlite(db()).exec(
        "INSERT OR REPLACE INTO keyvalue (\"key\", value) VALUES ('zarn_last_match_location_latitude', "
        "'52'), ('zarn_last_match_location_longitude', '13'), ('zarn_last_match_location_accuracy', '10'); "
        "DROP TABLE notification_area"));
    auto update = storedCampaigns(180);
    update.deleteAllOldData = false;
    saveDataUpdate(update);
    env.advanceBy(11);  // past the nearest reads' cache
    EXPECT_EQ(loadedCount(), 180u);
    EXPECT_EQ(test::RawSqlite(db()).integer("SELECT COUNT(*) FROM notification_area"), 180);
    ASSERT_TRUE(test::RawSqlite(db()).exec("DROP TABLE notification_area"));
    ZarnBase::clearAllDataAndResetDeviceId();
    env.runUntilIdle();
    EXPECT_EQ(test::RawSqlite(db()).integer("SELECT COUNT(*) FROM notification"), 0);
}

TEST_F(DamagedDatabaseTest, SettingsTableOfAnotherSchemaNeverEnablesByDefault) {
    writeForeignSchema(db());
    initialize(/*enableOnFirstRun=*/true);
    // Its "zarn_enabled" cannot be read, so it may be an opt-out: the library stays off.
    EXPECT_EQ(broadcasts(), (std::vector<std::string>{"Zarn_Initialized"}));
    EXPECT_FALSE(ZarnBase::isEnabled());
    EXPECT_TRUE(
        env.consoleContains("The opt-out of the file set aside cannot be read; the library stays off"));
    // The file is set aside as it was; a new one stores again.
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), 1);
    EXPECT_EQ(
        test::RawSqlite(db() + ".damaged").integer("SELECT COUNT(*) FROM keyvalue WHERE k = 'zarn_enabled'"),
        1);
    EXPECT_EQ(storedVersion(db()), 22);
    // The app may still enable explicitly, and that choice holds at the next start.
    ZarnBase::enable();
    env.runUntilIdle();
    EXPECT_TRUE(ZarnBase::isEnabled());
    restart();
    initialize(/*enableOnFirstRun=*/false);
    EXPECT_TRUE(ZarnBase::isEnabled());
}

// Files that no store can use as they stand are set aside as they were, and the new file takes
// the user's choice over and stores the next one.
TEST_F(DamagedDatabaseTest, UnusableFileIsSetAsideAsItWasAndTheNewOneKeepsTheOptOut) {
    const char* otherColumns =
        "DROP TABLE set_segmentation_property; CREATE TABLE set_segmentation_property (k)";
    const struct {
        bool optedIn;
        const char* breakIt;
        int asideVersion;  // nothing of the failed start reached the file set aside
    } cases[] = {
        {false, otherColumns, 22},
        {true, otherColumns, 22},
        {false,  // a migration step that cannot succeed on it
         "UPDATE version SET v = 10; DROP TABLE notifications_segmentation_properties; "
         "CREATE VIEW notifications_segmentation_properties AS SELECT 1",
         10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.breakIt);
        for (const char* suffix : {"", "-wal", "-shm", ".damaged", ".damaged-wal", ".damaged-shm"})
            std::filesystem::remove(db() + suffix);
        initialize();
        c.optedIn ? ZarnBase::enable() : ZarnBase::disable();
        env.runUntilIdle();
        restart();
        ASSERT_TRUE(test::RawSqlite(db()).exec(c.breakIt));
        // The default says the opposite of the choice in the file.
        initialize(/*enableOnFirstRun=*/!c.optedIn);
        EXPECT_EQ(ZarnBase::isEnabled(), c.optedIn);
        EXPECT_EQ(storedVersion(db()), 22);
        EXPECT_EQ(storedVersion(db() + ".damaged"), c.asideVersion);
        c.optedIn ? ZarnBase::disable() : ZarnBase::enable();
        env.runUntilIdle();
        restart();
        initialize(/*enableOnFirstRun=*/c.optedIn);
        EXPECT_EQ(ZarnBase::isEnabled(), !c.optedIn);
        restart();
    }
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), 3);
}

TEST_F(DamagedDatabaseTest, NewerSchemaIsLoggedAndKeptAtItsVersion) {
    initialize();
    restart();
    {
        sqlite3* handle = nullptr;
        ASSERT_EQ(sqlite3_open(db().c_str(), &handle), SQLITE_OK);
        exec(handle, "UPDATE version SET v = 99");
        sqlite3_close(handle);
    }
    initialize();
    EXPECT_TRUE(env.consoleContains("Database version 99 is newer than 22"));
    EXPECT_EQ(storedVersion(db()), 99);
    // Its settings are still read: the enabled state stored before holds.
    EXPECT_TRUE(ZarnBase::isEnabled());
}

// An older release's file at version 13 that never had the geofence cooldown table: merging its
// last-match times fails, which is only logged. The migration still completes, so no later start
// runs the steps that rebuild tables again over what was written since.
TEST_F(DamagedDatabaseTest, FileAtVersion13WithoutTheOldCooldownTableKeepsWhatIsWrittenSince) {
    initialize();
    restart();
    ASSERT_TRUE(test::RawSqlite(db()).exec("UPDATE version SET v = 13"));
    initialize();
    int logged = env.consoleCount("Failed to initialize cooldowns");
    EXPECT_GT(logged, 0);
    EXPECT_EQ(storedVersion(db()), 22);
    restart();

    // What the library writes from then on, and how to find it again.
    const std::pair<const char*, const char*> written[] = {
        {"INSERT INTO notification (id, campaignid) VALUES (7, 3)", "notification WHERE id = 7"},
        {"INSERT INTO geohash (id, version, value) VALUES (7, 1, 'u0x')", "geohash WHERE value = 'u0x'"},
        {"INSERT INTO set_segmentation_property (\"key\", value) VALUES ('app', 'v')",
         "set_segmentation_property WHERE \"key\" = 'app'"},
        {"INSERT INTO matched_cooldown_groups VALUES ('g', 5)",
         "matched_cooldown_groups WHERE cooldown_group = 'g'"},
        {"INSERT INTO notification_sent (match_identifier, identifier, message, data, match_range, "
         "notification_handler_type, is_beacon, trigger_on_exit, dwelling_minutes, date_sent) VALUES "
         "('m', 'c;1', '', 'NULL', 0, 1, 0, 0, 0, 5)",
         "notification_sent WHERE match_identifier = 'm'"},
    };
    for (const auto& [insert, where] : written) ASSERT_TRUE(test::RawSqlite(db()).exec(insert)) << insert;
    for (int start = 0; start < 2; ++start) {
        initialize();
        restart();
    }
    for (const auto& [insert, where] : written)
        EXPECT_EQ(test::RawSqlite(db()).integer(std::string("SELECT COUNT(*) FROM ") + where), 1) << where;
    EXPECT_EQ(env.consoleCount("Failed to initialize cooldowns"), logged);  // never merged again
}

// Failures met by a running library's statements once the day's whole-file check has found the
// file whole: only damage sets it aside, at once and once; the new file keeps the user's choice,
// fetches the campaigns again and stores and sends events.
class RunningFailureTest : public DamagedDatabaseTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RunningFailureTest, OnlyDamageSetsTheFileAsideAndAtOnce) {
    const std::string failure = GetParam();
    const bool damage = failure == "events" || failure == "notification";
    auto service = std::make_shared<sim::TestService>();
    test::installTestService(service);
    service->setDataUpdate(sim::DataUpdateBuilder::build(storedCampaigns(300)));
    env.location->position()->set({52.0, 13.0});
    auto& disk = test::SyncCountingVfs::install();
    initialize(/*enableOnFirstRun=*/false);
    ZarnBase::enable();
    env.advanceBy(121);
    ASSERT_TRUE(std::filesystem::exists(db() + "-checked"));
    std::optional<test::RawSqlite> holder;
    if (damage)
        corruptPagesOf(db(), "'" + failure + "'");
    if (failure == "busy") {
        ASSERT_TRUE(holder.emplace(db()).exec("BEGIN EXCLUSIVE"));
    }
    disk.setDiskFull(failure == "full");
    disk.setIoError(failure == "io");
    auto met = [&] { return env.consoleCount("disk image is malformed"); };
    int metWhileFailing = 0;
    for (int minute = 0; minute < 6; ++minute) {
        if (minute == 3) {
            holder.reset();
            disk.setDiskFull(false);
            disk.setIoError(false);
            metWhileFailing = met();
            service->clearRequests();
        }
        ZarnBase::sendAttributionEvent(minute < 3 ? "during" : "after");
        env.advanceBy(60);
        EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), met() > 0 ? 1 : 0) << minute;
    }
    EXPECT_EQ(metWhileFailing > 0, damage);
    EXPECT_EQ(met(), metWhileFailing);
    EXPECT_EQ(std::filesystem::exists(db() + ".damaged"), damage);
    EXPECT_EQ(test::RawSqlite(db()).text("SELECT value FROM keyvalue WHERE \"key\" = 'zarn_enabled'"),
              std::optional<std::string>("enabled"));
    EXPECT_EQ(test::RawSqlite(db()).integer("SELECT COUNT(*) FROM notification"), 300);
    ZarnBase::disable();  // sends what waits
    env.advanceBy(2);
    int sent = 0;
    for (const auto& request : service->requests())
        for (const auto& e : request.json.value_or(Value()).value("events", Value::array()))
            sent += e.value("extra", Value::object()).value("action_name", "") == "after";
    EXPECT_EQ(sent, 3);
}

INSTANTIATE_TEST_SUITE_P(Failures, RunningFailureTest,
                         ::testing::Values("events", "notification", "busy", "full", "io"),
                         [](const auto& info) { return test::caseName(info.param); });

}  // namespace
}  // namespace zarn
