#include "store/ZarnPSqLiteCooldownDao.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPTransaction.h"
#include "store/dataupdate/ZarnPSqLiteCooldownGroupDao.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

namespace fb = com::zarnkit::velto::dataupdate::fb;

constexpr const char* kAppWide = "00000000000000000000000000000000";

class CooldownStoresTest : public ::testing::Test {
  protected:
    void open() {
        db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        cooldowns = std::make_shared<ZarnPSqLiteCooldownDao>(db);
        groups = std::make_shared<ZarnPSqLiteCooldownGroupDao>(db);
        ASSERT_TRUE(db->database());
    }
    // A file of an older version holding `sql`.
    void writeOldFile(int version, const std::string& sql) {
        ASSERT_EQ(test::writeOldFile(path, version, sql), std::nullopt);
    }
    std::map<std::string, double> matches() {
        std::map<std::string, double> out;
        test::RawSqlite raw(path);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(raw.handle(),
                           "SELECT cooldown_group, last_match_date FROM matched_cooldown_groups", -1, &stmt,
                           nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
            out[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] = sqlite3_column_double(stmt, 1);
        sqlite3_finalize(stmt);
        return out;
    }

    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteCooldownDao> cooldowns;
    std::shared_ptr<ZarnPSqLiteCooldownGroupDao> groups;
};

TEST_F(CooldownStoresTest, LastMatchKeepsOneRowPerGroupWithTheLaterCallsDate) {
    open();
    EXPECT_EQ(cooldowns->lastCooldownGroupMatch("campaign"), std::nullopt);
    EXPECT_EQ(cooldowns->setLastMatch("campaign", dateWithTimeIntervalSince1970(1000.25)), std::nullopt);
    EXPECT_EQ(cooldowns->setLastMatch("campaign", dateWithTimeIntervalSince1970(900.5)), std::nullopt);
    EXPECT_EQ(cooldowns->setLastMatch(kAppWide, dateWithTimeIntervalSince1970(5)), std::nullopt);
    EXPECT_EQ(cooldowns->lastCooldownGroupMatch("campaign"), dateWithTimeIntervalSince1970(900.5));
    EXPECT_EQ(matches(), (std::map<std::string, double>{{"campaign", 900.5}, {kAppWide, 5}}));

    cooldowns->clearAllMatches();
    EXPECT_TRUE(matches().empty());
    EXPECT_EQ(cooldowns->lastCooldownGroupMatch(kAppWide), std::nullopt);

    // Failures answer an error or nothing and are never raised.
    test::RawSqlite(path).exec("DROP TABLE matched_cooldown_groups");
    auto error = cooldowns->setLastMatch("campaign", dateWithTimeIntervalSince1970(1));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "ZarnPDatabase");
    EXPECT_EQ(cooldowns->lastCooldownGroupMatch("campaign"), std::nullopt);
    cooldowns->clearAllMatches();
    EXPECT_TRUE(env.consoleContains("ERROR|SqLiteCooldownDao| Failed to delete cooldown groups"));
}

TEST_F(CooldownStoresTest, GroupsAreSavedDeletedByIdAndRaiseOnADuplicate) {
    open();
    sim::DataUpdateDescription update;
    update.cooldownGroups = {{"a", 60}, {"b", std::nullopt}, {"", 30}, {"c", 0}};
    auto bytes = sim::DataUpdateBuilder::build(update);
    const auto* root = fb::GetDataUpdateResponseDTO(bytes.data());
    for (const auto* group : *root->cooldownGroups()) groups->save(*group);
    // An id that reads as absent is skipped (the column is NOT NULL); an absent value is -1.
    EXPECT_TRUE(
        env.consoleContains("INFO|SqLiteCooldownGroupDao| Skipping cooldown group without an id (value 30)"));
    test::RawSqlite raw(path);
    EXPECT_EQ(
        raw.text(
            "SELECT group_concat(id || '=' || value, ' ') FROM (SELECT * FROM cooldown_group ORDER BY id)"),
        "a=60 b=-1 c=0");

    EXPECT_THROW(groups->save("a", 10), ZarnPDatabaseException);
    EXPECT_EQ(raw.integer("SELECT value FROM cooldown_group WHERE id = 'a'"), 60);

    groups->deleteByIds({});
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM cooldown_group"), 3);
    groups->deleteByIds({"a", "c", "unknown"});
    EXPECT_EQ(groups->listIds(), std::vector<std::string>{"b"});

    // Many ids take several statements; ids are data, never SQL.
    std::vector<std::string> many;
    {
        ZarnPTransaction save(db->database(), ZarnPDurability::Normal);
        for (int i = 0; i < 2500; ++i) {
            many.push_back("g" + std::to_string(i) + "'); DROP TABLE cooldown_group; --");
            groups->save(many.back(), i);
        }
        save.commit();
    }
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM cooldown_group"), 2501);
    groups->deleteByIds(many);
    EXPECT_EQ(groups->listIds(), std::vector<std::string>{"b"});

    test::RawSqlite(path).exec("DROP TABLE cooldown_group");
    EXPECT_THROW(groups->deleteByIds({"b"}), ZarnPDatabaseException);
}

// The last matches of older files, kept per region kind, are merged into one table.
struct MigrationCase {
    int version;
    bool hasGeofenceTable;
    bool hasBeaconTable;
    std::map<std::string, double> expected;
    bool geofenceTableLeft;
    bool beaconTableLeft;
};

TEST_F(CooldownStoresTest, OldLastMatchTablesAreMergedKeepingTheLatestDate) {
    const std::string geofence =
        "CREATE TABLE notifications_matched_cooldown_groups (cooldown_group VARCHAR(255) NOT NULL PRIMARY "
        "KEY, "
        "last_match_date DOUBLE NOT NULL);"
        "INSERT INTO notifications_matched_cooldown_groups VALUES ('00000000000000000000000000000000', 200), "
        "('geo', 10);";
    const std::string beacon =
        "CREATE TABLE beacon_notifications_matched_cooldown_groups (cooldown_group VARCHAR(255) NOT NULL "
        "PRIMARY "
        "KEY, last_match_date DOUBLE NOT NULL);"
        "INSERT INTO beacon_notifications_matched_cooldown_groups VALUES "
        "('00000000000000000000000000000000', 100), "
        "('beacon', 20), ('geo', 30);";
    const std::vector<MigrationCase> cases = {
        {7, true, true, {}, true, true},
        {9, true, false, {{kAppWide, 200}, {"geo", 10}}, false, false},
        {9, true, true, {{kAppWide, 200}, {"geo", 10}}, false, true},
        {12, true, true, {{kAppWide, 200}, {"geo", 30}, {"beacon", 20}}, false, false},
        {14, true, true, {{kAppWide, 200}, {"geo", 30}, {"beacon", 20}}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        std::filesystem::remove(path);
        writeOldFile(c.version, (c.hasGeofenceTable ? geofence : "") + (c.hasBeaconTable ? beacon : ""));
        open();
        EXPECT_EQ(matches(), c.expected);
        test::RawSqlite raw(path);
        EXPECT_EQ(raw.hasTable("notifications_matched_cooldown_groups"), c.geofenceTableLeft);
        EXPECT_EQ(raw.hasTable("beacon_notifications_matched_cooldown_groups"), c.beaconTableLeft);
        EXPECT_TRUE(raw.hasTable("cooldown_group"));
        EXPECT_FALSE(env.consoleContains("Failed to initialize cooldowns"));
        EXPECT_EQ(db->currentVersion(), 22);
        cooldowns.reset();
        groups.reset();
        db.reset();
    }
}

TEST_F(CooldownStoresTest, NewerFilesKeepTheirRows) {
    writeOldFile(
        17,
        "CREATE TABLE matched_cooldown_groups (cooldown_group VARCHAR(255) NOT NULL PRIMARY KEY, "
        "last_match_date DOUBLE NOT NULL); INSERT INTO matched_cooldown_groups VALUES ('kept', 42.5);");
    open();
    EXPECT_EQ(matches(), (std::map<std::string, double>{{"kept", 42.5}}));
    groups->save("g", 5);
    cooldowns.reset();
    groups.reset();
    db.reset();
    {
        test::RawSqlite raw(path);
        raw.exec("UPDATE version SET v = 18");
    }
    open();
    EXPECT_EQ(groups->listIds(), std::vector<std::string>{"g"});
    EXPECT_EQ(matches(), (std::map<std::string, double>{{"kept", 42.5}}));
}

TEST_F(CooldownStoresTest, AMissingOldTableIsLoggedAndTheNewTableStays) {
    writeOldFile(12, "");  // the old tables are gone: the copy fails, what ran stays
    open();
    EXPECT_TRUE(env.consoleContains("ERROR|SqLiteCooldownDao| Failed to initialize cooldowns"));
    EXPECT_EQ(cooldowns->setLastMatch("x", dateWithTimeIntervalSince1970(1)), std::nullopt);
}

}  // namespace
}  // namespace zarn
