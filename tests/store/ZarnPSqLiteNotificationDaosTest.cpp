#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "core/ZarnPBeaconUtil.h"
#include "core/ZarnPSystemClockDao.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/ZarnPSqLiteNotificationDao.h"
#include "testing/SyncCountingVfs.h"
#include "tests/store/RecordingReadDao.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/store/dataupdate/DataUpdateTestSupport.h"
#include "tests/support/TestEnvironment.h"

// Campaign and notification descriptions name only what a test sets.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

using Ids = std::set<std::string>;
using Rows = std::vector<std::pair<std::string, std::string>>;

const Uuid kU1 = *Uuid::fromString("B9407F30-F5F8-466E-AFF9-25556B57FE6D");
const Uuid kU2 = *Uuid::fromString("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0");

class NotificationDaosTest : public ::testing::Test {
  protected:
    void open(bool withDataUpdateStores = false) {
        db = std::make_shared<ZarnPSqLiteDb>(22, path, env.fileSystem);
        db->disableThreadCheck();
        if (withDataUpdateStores)
            stores = std::make_unique<test::DataUpdateStores>(db);
        cooldowns = std::make_shared<ZarnPSqLiteCooldownDao>(db);
        clock = std::make_shared<ZarnPSystemClockDao>(env.time);
        readDao = std::make_shared<test::RecordingReadDao>();
        local = std::make_shared<ZarnPSqLiteNotificationDao>(db, cooldowns, clock, readDao);
        beacon = std::make_shared<ZarnPSqLiteBeaconNotificationDao>(db, cooldowns, clock);
        external = std::make_shared<ZarnPSqLiteExternalNotificationDao>(db, cooldowns, clock);
        ASSERT_TRUE(db->database());
    }
    void writeOldFile(int version, const std::string& sql) {
        ASSERT_EQ(test::writeOldFile(path, version, sql), std::nullopt);
    }
    // The rows of a one-column query joined by blanks.
    std::string rows(const std::string& sql) {
        return test::RawSqlite(path).text("SELECT group_concat(r, ' ') FROM (" + sql + ")").value_or("");
    }
    std::string columns(const std::string& table) {
        return rows("SELECT name r FROM pragma_table_info('" + table + "')");
    }
    std::string tables(const std::string& like) {
        return rows("SELECT name r FROM sqlite_master WHERE name LIKE '" + like + "' ORDER BY name");
    }
    double secondsAgo(const std::string& table, const std::string& identifier) {
        return test::TestEnvironment::kStart + advanced -
               std::stod(rows("SELECT date r FROM " + table + " WHERE identifier = '" + identifier + "'"));
    }
    void advance(double seconds) {
        env.advanceBy(seconds);
        advanced += seconds;
    }

    test::TestEnvironment env;
    double advanced = 0;
    std::string path = env.path("Documents/zarn.db");
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::unique_ptr<test::DataUpdateStores> stores;
    std::shared_ptr<ZarnPSqLiteCooldownDao> cooldowns;
    std::shared_ptr<ZarnPClockDao> clock;
    std::shared_ptr<test::RecordingReadDao> readDao;
    std::shared_ptr<ZarnPSqLiteNotificationDao> local;
    std::shared_ptr<ZarnPSqLiteBeaconNotificationDao> beacon;
    std::shared_ptr<ZarnPSqLiteExternalNotificationDao> external;
};

TEST_F(NotificationDaosTest, ANewFileGetsEveryTableOfTheThreeKinds) {
    open();
    EXPECT_EQ(
        tables("notifications%"),
        "notifications_cooldown_groups notifications_segmentation_ids notifications_segmentation_properties "
        "notifications_timespans notifications_timespans_idx notifications_user_dwelling "
        "notifications_user_entered notifications_user_has_to_exit_first");
    EXPECT_EQ(tables("shared%"), "shared_notifications_segmentation_history");
    EXPECT_EQ(tables("external%"),
              "external_notifications_cooldown_groups external_notifications_segmentation_ids "
              "external_notifications_segmentation_properties external_notifications_timespans "
              "external_notifications_timespans_idx external_notifications_user_dwelling "
              "external_notifications_user_entered external_notifications_user_has_to_exit_first");
    EXPECT_EQ(
        tables("beacon%"),
        "beacon_notifications beacon_notifications_cooldown_groups beacon_notifications_cooldown_groups_idx "
        "beacon_notifications_segmentation_ids beacon_notifications_segmentation_properties "
        "beacon_notifications_timespans beacon_notifications_timespans_idx "
        "beacon_notifications_user_dwelling "
        "beacon_notifications_user_entered beacon_notifications_user_entered_date_idx "
        "beacon_notifications_user_has_to_exit_first");
    EXPECT_EQ(
        columns("beacon_notifications"),
        "identifier message majorId minorId data match_range notification_handler_type offered_for_match "
        "trigger_on_exit dwelling_minutes beaconUuid");
    EXPECT_EQ(columns("beacon_notifications_user_entered"), "identifier date beaconUuid");
    EXPECT_EQ(columns("beacon_notifications_user_has_to_exit_first"), "identifier first_exit");
    EXPECT_EQ(columns("notifications_user_dwelling"), "identifier match_identifier enddate");
    EXPECT_TRUE(env.consoleContains("DEBUG|SqLiteNotificationDao| Upgrading DB from 0 to 22"));
    EXPECT_TRUE(env.consoleContains("DEBUG|SqLiteBeaconNotificationDao| Upgrading DB from 0 to 22"));
    EXPECT_EQ(test::RawSqlite(path).integer("SELECT v FROM version"), 22);
}

// Older files, each with what that version had; every check is a query and its rows.
struct MigrationCase {
    std::string name;
    int version;
    std::string oldTables;
    Rows expected;
    std::vector<std::string> logged;
    std::vector<std::string> notLogged;
};

void PrintTo(const MigrationCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kLocalAt10 =
    "CREATE TABLE notifications_user_entered (identifier VARCHAR(255) NOT NULL PRIMARY KEY,date DOUBLE NOT "
    "NULL);"
    "INSERT INTO notifications_user_entered VALUES ('a;1', 5);"
    "CREATE TABLE notifications_user_has_to_exit_first (identifier VARCHAR(255) NOT NULL PRIMARY KEY);"
    "INSERT INTO notifications_user_has_to_exit_first VALUES ('h;1');"
    "CREATE TABLE shared_notifications_segmentation_history (segmentation_id VARCHAR(255), timestamp DOUBLE);"
    "INSERT INTO shared_notifications_segmentation_history VALUES ('s', 1);";
const std::string kOldDwelling =
    "CREATE TABLE notifications_user_dwelling (identifier VARCHAR(255) NOT NULL PRIMARY KEY,enddate DOUBLE "
    "NOT "
    "NULL); INSERT INTO notifications_user_dwelling VALUES ('d;1', 9);";
const std::string kDwellingWithMatch =
    "CREATE TABLE notifications_user_dwelling (identifier VARCHAR(255) NOT NULL PRIMARY KEY,match_identifier "
    "VARCHAR(255) NOT NULL,enddate DOUBLE NOT NULL); INSERT INTO notifications_user_dwelling VALUES ('d;1', "
    "'m', "
    "9);";
// The tables a file of version 8 or later has beside those above, and those from version 13.
const std::string kLocalRest =
    "CREATE TABLE notifications_timespans (identifier VARCHAR(255) NOT NULL,start DOUBLE,end DOUBLE);"
    "CREATE TABLE notifications_cooldown_groups (identifier VARCHAR(255) NOT NULL, group_identifier "
    "VARCHAR(255) NOT NULL, cooldown INTEGER NOT NULL, PRIMARY KEY(identifier, group_identifier));";
const std::string kLocalSegmentation =
    "CREATE TABLE notifications_segmentation_ids (notification_id VARCHAR(255) NOT NULL, segmentation_id "
    "VARCHAR(255) NOT NULL, PRIMARY KEY(notification_id, segmentation_id) );"
    "CREATE TABLE notifications_segmentation_properties (notification_id VARCHAR(255) NOT "
    "NULL,segmentation_id "
    "VARCHAR(255) NOT NULL,occurrences INTEGER,operator INTEGER,interval_seconds INTEGER);";
const std::string kLocalAt13 = kLocalAt10 + kDwellingWithMatch + kLocalRest + kLocalSegmentation;
const std::string kOldNotifications =
    "CREATE TABLE notifications (identifier VARCHAR(255) NOT NULL PRIMARY KEY, message VARCHAR(255));"
    "INSERT INTO notifications VALUES ('n;1', 'hello');";
const std::string kBeaconAt10 =
    "CREATE TABLE beacon_notifications (identifier VARCHAR(255) NOT NULL PRIMARY KEY,message VARCHAR(2048) "
    "NOT "
    "NULL,majorId INTEGER,minorId INTEGER,data VARCHAR(255) NOT NULL,match_range INTEGER NOT "
    "NULL,notification_handler_type INTEGER NOT NULL, offered_for_match BOOLEAN NOT NULL, trigger_on_exit "
    "BOOLEAN "
    "NOT NULL, dwelling_minutes INT NOT NULL);"
    "INSERT INTO beacon_notifications VALUES ('b;1', 'm', 1, 2, 'd', 3, 0, 0, 0, 0);"
    "CREATE TABLE beacon_notifications_user_dwelling (identifier VARCHAR(255) NOT NULL PRIMARY KEY,enddate "
    "DOUBLE "
    "NOT NULL); INSERT INTO beacon_notifications_user_dwelling VALUES ('bd;1', 7);"
    "CREATE TABLE beacon_notifications_user_entered (identifier VARCHAR(255) NOT NULL PRIMARY KEY,date "
    "DOUBLE NOT "
    "NULL); INSERT INTO beacon_notifications_user_entered VALUES ('be;1', 3);"
    "CREATE TABLE beacon_notifications_user_has_to_exit_first (identifier VARCHAR(255) NOT NULL PRIMARY KEY);"
    "INSERT INTO beacon_notifications_user_has_to_exit_first VALUES ('bh;1');"
    "CREATE TABLE beacon_notifications_timespans (identifier VARCHAR(255) NOT NULL,start DOUBLE,end DOUBLE);"
    "CREATE TABLE beacon_notifications_cooldown_groups (identifier VARCHAR(255) NOT NULL,group_identifier "
    "VARCHAR(255) NOT NULL,cooldown INTEGER NOT NULL);";
const std::string kBeaconAt14 =
    kBeaconAt10 +
    "ALTER TABLE beacon_notifications_user_dwelling ADD COLUMN match_identifier "
    "VARCHAR(255); ALTER TABLE beacon_notifications_user_has_to_exit_first ADD COLUMN "
    "first_exit DOUBLE;"
    "CREATE TABLE beacon_notifications_segmentation_ids (notification_id VARCHAR(255) "
    "NOT NULL, segmentation_id VARCHAR(255) NOT NULL, PRIMARY KEY(notification_id, "
    "segmentation_id));"
    "CREATE TABLE beacon_notifications_segmentation_properties (notification_id "
    "VARCHAR(255) NOT NULL,segmentation_id VARCHAR(255) NOT NULL,occurrences "
    "INTEGER,operator INTEGER,interval_seconds INTEGER);";
const std::string kBeaconAt16 =
    kBeaconAt14 +
    "ALTER TABLE beacon_notifications ADD COLUMN beaconUuid VARCHAR(255);"
    "ALTER TABLE beacon_notifications_user_entered ADD COLUMN beaconUuid VARCHAR(255);"
    "CREATE TABLE matched_cooldown_groups (cooldown_group VARCHAR(255) NOT NULL PRIMARY KEY, last_match_date "
    "DOUBLE NOT NULL);";

const MigrationCase kMigrations[] = {
    {"LocalAt10KeepsItsStateAndGetsTheMatchIdentifierAndFreshSegmentation",
     10,
     kLocalAt10 + kOldDwelling + kLocalRest + kBeaconAt10,
     {{"SELECT identifier || '=' || IFNULL(match_identifier, 'null') r FROM notifications_user_dwelling",
       "d;1=null"},
      {"SELECT identifier r FROM notifications_user_entered", "a;1"},
      {"SELECT identifier r FROM notifications_user_has_to_exit_first", "h;1"},
      {"SELECT COUNT(*) r FROM shared_notifications_segmentation_history", "0"},
      {"SELECT COUNT(*) r FROM sqlite_master WHERE name IN ('notifications_segmentation_ids', "
       "'notifications_segmentation_properties')",
       "2"}},
     {"DEBUG|SqLiteNotificationDao| Upgrading DB from 10 to 22"},
     {"Failed to create DB"}},
    {"LocalAt10ThatAlreadyHasTheMatchIdentifierMigratesCleanly",
     10,
     kLocalAt10 + kDwellingWithMatch + kLocalRest + kBeaconAt10,
     {{"SELECT identifier || '=' || match_identifier r FROM notifications_user_dwelling", "d;1=m"},
      {"SELECT COUNT(*) r FROM shared_notifications_segmentation_history", "0"}},
     {},
     {"Failed to create DB"}},
    {"LocalAt9GetsAnEmptyHasToExitTableAndTheMatchIdentifier",
     9,
     kLocalAt10 + kOldDwelling + kLocalRest,
     {{"SELECT COUNT(*) r FROM notifications_user_has_to_exit_first", "0"},
      {"SELECT identifier r FROM notifications_user_entered", "a;1"},
      {"SELECT name r FROM pragma_table_info('notifications_user_dwelling') WHERE name = 'match_identifier'",
       "match_identifier"}},
     {},
     {"Failed to create DB"}},
    {"LocalAt8KeepsItsNotificationsTableWithAHandlerType",
     8,
     kLocalAt10 + kOldDwelling + kLocalRest + kOldNotifications,
     {{"SELECT identifier || '=' || notification_handler_type r FROM notifications", "n;1=0"},
      {"SELECT identifier r FROM notifications_user_entered", "a;1"},
      {"SELECT name r FROM pragma_table_info('notifications_user_dwelling') WHERE name = 'match_identifier'",
       "match_identifier"}},
     {},
     {"Failed to create DB"}},
    {"LocalAt7LosesItsNotificationsAndEnteredTables",
     7,
     kLocalAt10 + kOldDwelling + kOldNotifications,
     {{"SELECT COUNT(*) r FROM sqlite_master WHERE name = 'notifications'", "0"},
      {"SELECT COUNT(*) r FROM notifications_user_entered", "0"},
      {"SELECT COUNT(*) r FROM notifications_user_dwelling", "0"},
      {"SELECT COUNT(*) r FROM notifications_cooldown_groups", "0"}},
     {},
     {"Failed to create DB"}},
    {"LocalAt13IsLeftAsItIs",
     13,
     kLocalAt13 + kBeaconAt14,
     {{"SELECT identifier || '=' || enddate r FROM notifications_user_dwelling", "d;1=9.0"},
      {"SELECT COUNT(*) r FROM shared_notifications_segmentation_history", "1"}},
     {},
     {"SqLiteNotificationDao| Upgrading DB"}},
    {"LocalFailureSetsTheFileAsideAsItWasAndStartsANewOne",
     10,
     kLocalAt10 + kOldDwelling + kLocalRest + kBeaconAt10 +
         "CREATE VIEW notifications_segmentation_properties AS SELECT 1;",
     {{"SELECT COUNT(*) r FROM notifications_user_dwelling", "0"},
      {"SELECT COUNT(*) r FROM shared_notifications_segmentation_history", "0"},
      {"SELECT type r FROM sqlite_master WHERE name = 'notifications_segmentation_properties'", "table"},
      {"SELECT v r FROM version", "22"}},
     {"ERROR|SqLiteNotificationDao| Failed to create DB", "ERROR|SqLiteDb| Database at"},
     {}},
    {"BeaconAt10GetsEveryLaterGroupAndLosesItsEntries",
     10,
     kBeaconAt10 + kLocalAt10 + kDwellingWithMatch + kLocalRest,
     {{"SELECT identifier || '=' || IFNULL(match_identifier, 'null') r FROM "
       "beacon_notifications_user_dwelling",
       "bd;1=null"},
      {"SELECT identifier || '=' || IFNULL(first_exit, 'null') r FROM "
       "beacon_notifications_user_has_to_exit_first",
       "bh;1=null"},
      {"SELECT COUNT(*) r FROM beacon_notifications", "0"},
      {"SELECT COUNT(*) r FROM beacon_notifications_user_entered", "0"},
      {"SELECT name r FROM pragma_table_info('beacon_notifications_user_entered') WHERE name = 'beaconUuid'",
       "beaconUuid"},
      {"SELECT COUNT(*) r FROM sqlite_master WHERE name LIKE 'beacon_notifications_segmentation_%'", "2"}},
     {"DEBUG|SqLiteBeaconNotificationDao| Upgrading DB from 10 to 22"},
     {"Failed to upgrade DB"}},
    {"BeaconAt14LosesItsEntries",
     14,
     kBeaconAt14 + kLocalAt13,
     {{"SELECT COUNT(*) r FROM beacon_notifications_user_entered", "0"},
      {"SELECT identifier r FROM beacon_notifications_user_dwelling", "bd;1"},
      {"SELECT name r FROM pragma_table_info('beacon_notifications') WHERE name = 'beaconUuid'",
       "beaconUuid"}},
     {},
     {"Failed to upgrade DB"}},
    {"BeaconAt16IsLeftAsItIs",
     16,
     kBeaconAt16 + kLocalAt13,
     {{"SELECT identifier r FROM beacon_notifications_user_entered", "be;1"},
      {"SELECT identifier r FROM beacon_notifications", "b;1"}},
     {},
     {"SqLiteBeaconNotificationDao| Upgrading DB"}},
};

class NotificationDaosMigrationTest : public NotificationDaosTest,
                                      public ::testing::WithParamInterface<MigrationCase> {};

TEST_P(NotificationDaosMigrationTest, MigratesFromTheStoredVersion) {
    const auto& c = GetParam();
    writeOldFile(c.version, c.oldTables);
    open();
    for (const auto& [sql, expected] : c.expected) EXPECT_EQ(rows(sql), expected) << sql;
    for (const auto& line : c.logged) EXPECT_TRUE(env.consoleContains(line)) << line;
    for (const auto& line : c.notLogged) EXPECT_FALSE(env.consoleContains(line)) << line;
}

INSTANTIATE_TEST_SUITE_P(OlderFiles, NotificationDaosMigrationTest, ::testing::ValuesIn(kMigrations),
                         [](const auto& info) { return info.param.name; });

// A file labelled with an older version than its tables have (written by a release between two
// versions) migrates over what it already holds: that must succeed and keep the state.
TEST_F(NotificationDaosTest, AMigrationThatRunsAgainSucceeds) {
    for (int version : {0, 8, 10, 12, 15, 19}) {
        SCOPED_TRACE(version);
        {
            open();
            ASSERT_EQ(local->markUserStartedDwelling("d;1", "m", dateWithTimeIntervalSince1970(1)),
                      std::nullopt);
        }
        local.reset();
        beacon.reset();
        external.reset();
        db.reset();
        // The cooldown store merges the last-match tables that files of those versions had.
        test::RawSqlite(path).exec(
            "UPDATE version SET v = " + std::to_string(version) +
            "; CREATE TABLE IF NOT EXISTS notifications_matched_cooldown_groups (cooldown_group, "
            "last_match_date);"
            "CREATE TABLE IF NOT EXISTS beacon_notifications_matched_cooldown_groups (cooldown_group, "
            "last_match_date);");
        open();
        EXPECT_EQ(test::RawSqlite(path).integer("SELECT v FROM version"), 22);
        EXPECT_EQ(local->markUserStartedDwelling("d;1", "m", dateWithTimeIntervalSince1970(1)), std::nullopt);
        EXPECT_EQ(beacon->markUserHasToLeaveFirst("b;1"), std::nullopt);
        EXPECT_EQ(external->markUserHasToLeaveFirst("e;1"), std::nullopt);
    }
    EXPECT_FALSE(env.consoleContains("Failed to create DB"));
    EXPECT_FALSE(env.consoleContains("Failed to upgrade DB"));
    EXPECT_FALSE(env.consoleContains("A statement failed while migrating"));
}

TEST_F(NotificationDaosTest, LocalEnteredSetIsMarkedAndPurgedWithBoundIdentifiers) {
    open();
    Error error;
    EXPECT_TRUE(local->markUserEntered(true, "a;1", &error));
    advance(30);
    EXPECT_TRUE(local->markUserEntered(true, "a;1", &error));
    EXPECT_EQ(rows("SELECT COUNT(*) r FROM notifications_user_entered"), "1");
    EXPECT_EQ(secondsAgo("notifications_user_entered", "a;1"), 0);
    for (const char* id : {"b;2", "o'brien;3", "c;3"}) EXPECT_TRUE(local->markUserEntered(true, id, &error));
    EXPECT_TRUE(error.domain.empty());
    EXPECT_TRUE(local->markUserEntered(false, "c;3", &error));
    EXPECT_EQ(local->getUserEntered(), (Ids{"a;1", "b;2", "o'brien;3"}));
    EXPECT_TRUE(local->markUserEntered(true, "c;3", nullptr));

    // An error already present: nothing is done.
    Error present{"Zarn", -3, "earlier"};
    EXPECT_FALSE(local->markUserEntered(false, "a;1", &present));
    EXPECT_EQ(present.message, "earlier");
    EXPECT_EQ(local->getUserEntered().count("a;1"), 1u);

    EXPECT_EQ(local->getAndPurgeUserEntered({"a;1", "o'brien;3", "x') OR 1=1 --"}),
              (std::vector<std::string>{"b;2", "c;3"}));
    EXPECT_EQ(local->getUserEntered(), (Ids{"a;1", "o'brien;3"}));

    // A keep-list longer than one statement binds is applied all the same.
    std::vector<std::string> many{"o'brien;3"};
    for (int i = 0; i < 1500; ++i) many.push_back("k;" + std::to_string(i));
    EXPECT_EQ(local->getAndPurgeUserEntered(many), (std::vector<std::string>{"a;1"}));
    EXPECT_EQ(local->getAndPurgeUserEntered({}), (std::vector<std::string>{"o'brien;3"}));
    EXPECT_TRUE(local->getUserEntered().empty());

    // A failing delete: every row is still reported, the failure logged.
    for (const char* id : {"p;1", "q;2"}) local->markUserEntered(true, id, nullptr);
    test::RawSqlite(path).exec(
        "CREATE TRIGGER refuse BEFORE DELETE ON notifications_user_entered BEGIN SELECT RAISE(ABORT, 'no'); "
        "END");
    EXPECT_EQ(local->getAndPurgeUserEntered({}), (std::vector<std::string>{"p;1", "q;2"}));
    EXPECT_TRUE(env.consoleContains("ERROR|SqLiteNotificationDao| Failed to purge entered notifications"));
    EXPECT_EQ(local->getUserEntered(), (Ids{"p;1", "q;2"}));
    Error failed;
    EXPECT_TRUE(local->markUserEntered(false, "p;1", &failed));
    EXPECT_EQ(failed.domain, "ZarnPDatabase");
}

TEST_F(NotificationDaosTest, EachMatchStateWriteCommitsOnceAndAWriteThatChangesNothingNever) {
    auto& vfs = test::SyncCountingVfs::install();  // before the file opens
    open();
    Error error;
    struct Case {
        const char* what;
        std::function<void()> write;
        uint64_t commits;
    };
    const Case cases[] = {
        {"a first entered mark", [&] { local->markUserEntered(true, "a;1", &error); }, 1},
        {"the mark renewed", [&] { local->markUserEntered(true, "a;1", &error); }, 1},
        {"a second mark", [&] { local->markUserEntered(true, "b;2", &error); }, 1},
        {"forgetting a mark that is not there", [&] { local->markUserEntered(false, "z;9", &error); }, 0},
        {"a beacon mark", [&] { beacon->markUserEntered(true, "c;3", kU1, &error); }, 1},
        {"the beacon mark renewed", [&] { beacon->markUserEntered(true, "c;3", kU1, &error); }, 1},
        {"has-to-leave marked", [&] { local->markUserHasToLeaveFirst("h;1"); }, 1},
        {"has-to-leave marked again", [&] { local->markUserHasToLeaveFirst("h;1"); }, 0},
        {"the has-to-leave set replaced by itself", [&] { local->replaceUserHasToLeaveFirstSet({"h;1"}); },
         0},
        {"two entered marks purged", [&] { local->getAndPurgeUserEntered({}); }, 1},
        {"a purge with nothing entered", [&] { local->getAndPurgeUserEntered({}); }, 0},
    };
    uint64_t syncsBefore = vfs.syncs();
    for (const auto& c : cases) {
        uint64_t before = vfs.logCommits();
        c.write();
        EXPECT_EQ(vfs.logCommits() - before, c.commits) << c.what;
    }
    // Match state is nobody's to hear of: none of it waits for a sync.
    EXPECT_EQ(vfs.syncs(), syncsBefore);
    EXPECT_TRUE(error.domain.empty());
    EXPECT_TRUE(local->getUserEntered().empty());
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids({kU1}).size(), 1u);
    EXPECT_EQ(local->getUserHasToLeaveNotifications(), Ids{"h;1"});
}

TEST_F(NotificationDaosTest, LocalGetAllAsksForEveryKindInOrderWithOfferedIncluded) {
    open();
    auto named = [](const std::string& campaign) {
        ZarnPNotification n;
        n.setCampaignId(campaign);
        return n;
    };
    readDao->geofences = {named("g1"), named("g2")};
    readDao->beacons = {named("b1")};
    readDao->external = {named("e1")};
    Error error;
    auto all = local->getAllWithError(&error, ZarnPLocationWithAccuracy(52.5, 13.4, 65));
    std::vector<std::string> campaigns;
    for (const auto& n : all) campaigns.push_back(n.campaignId());
    EXPECT_EQ(campaigns, (std::vector<std::string>{"g1", "g2", "b1", "e1"}));
    EXPECT_TRUE(error.domain.empty());
    ASSERT_EQ(readDao->questions.size(), 3u);
    std::vector<std::string> kinds;
    for (const auto& q : readDao->questions) {
        kinds.push_back(q.kind);
        EXPECT_TRUE(q.includeOffered);
        EXPECT_TRUE(q.includeIds.empty());
        EXPECT_EQ(q.latitude, 52.5);
        EXPECT_EQ(q.longitude, 13.4);
        EXPECT_EQ(q.accuracy, 65);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"geofence", "beacon", "external"}));
    EXPECT_EQ(local->getAllNotificationsActiveOn(dateWithTimeIntervalSince1970(0),
                                                 dateWithTimeIntervalSince1970(1), true, &error),
              std::nullopt);
}

TEST_F(NotificationDaosTest, LocalClearEmptiesGeofenceStateAndNotificationsButNotTheOtherKinds) {
    open(true);
    test::Buffer c;
    int64_t campaign = stores->campaign->save(*c.root(c.campaign({.campaignId = "c1"})));
    test::Buffer t;
    int64_t tile = stores->geohash->save(*t.root(t.geohash("u1", 3)), nullptr);
    for (const char* geofence : {"g1", "g2"}) {
        test::Buffer n;
        stores->notification->save(*n.root(n.notification({.geofenceId = geofence, .location = {{1, 2}}})),
                                   campaign, tile);
    }
    ASSERT_EQ(stores->count("notification"), 2);
    local->markUserEntered(true, "c1;g1", nullptr);
    local->markUserHasToLeaveFirst("c1;g2");
    local->markUserStartedDwelling("c1;g1", "m", dateWithTimeIntervalSince1970(10));
    local->updateCooldownLastMatch("c1;g1", {{"c1", 60}});
    beacon->markUserStartedDwelling("c1;g1", "m", dateWithTimeIntervalSince1970(10));
    external->markUserHasToLeaveFirst("c1;g1");
    test::RawSqlite(path).exec(
        "INSERT INTO notifications_timespans VALUES ('c1;g1', 1, 2); INSERT INTO "
        "notifications_cooldown_groups "
        "VALUES ('c1;g1', 'c1', 60); INSERT INTO notifications_segmentation_ids VALUES ('c1;g1', 's');"
        "INSERT INTO notifications_segmentation_properties VALUES ('c1;g1', 's', 1, 1, 1);"
        "INSERT INTO shared_notifications_segmentation_history VALUES ('s', 1);");

    EXPECT_EQ(local->clearNotifications(), std::nullopt);
    for (const char* table : {"notification", "notifications_timespans", "notifications_user_entered",
                              "notifications_user_has_to_exit_first", "notifications_user_dwelling",
                              "notifications_cooldown_groups", "notifications_segmentation_ids",
                              "notifications_segmentation_properties",
                              "shared_notifications_segmentation_history", "matched_cooldown_groups"})
        EXPECT_EQ(stores->count(table), 0) << table;
    EXPECT_EQ(readDao->invalidations, 1);
    EXPECT_TRUE(beacon->isUserDwellingIn("c1;g1"));
    EXPECT_EQ(external->getUserHasToLeaveNotifications(), (Ids{"c1;g1"}));

    // A missing table: the rest is still cleared and its failure answered.
    local->markUserHasToLeaveFirst("x;1");
    test::RawSqlite(path).exec("DROP TABLE notifications_timespans");
    auto error = local->clearNotifications();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "ZarnPDatabase");
    EXPECT_TRUE(local->getUserHasToLeaveNotifications().empty());
    EXPECT_EQ(readDao->invalidations, 2);
}

TEST_F(NotificationDaosTest, BeaconEntriesAreKeptPerUuidAndJustEnteredMeansUnder5000Seconds) {
    open();
    Error error;
    EXPECT_TRUE(beacon->markUserEntered(true, "x;1", kU1, &error));
    advance(1);
    EXPECT_TRUE(beacon->markUserEntered(true, "y;2", kU2, &error));
    EXPECT_TRUE(error.domain.empty());
    EXPECT_EQ(rows("SELECT beaconUuid r FROM beacon_notifications_user_entered ORDER BY identifier"),
              "b9407f30-f5f8-466e-aff9-25556b57fe6d e2c56db5-dffb-48d2-b060-d0f5a71096e0");
    advance(4999);
    EXPECT_EQ(beacon->getJustEnteredNotificationsForBeaconUuids({kU1, kU2}), (Ids{"y;2"}));
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids({kU1, kU2}), (Ids{"x;1", "y;2"}));
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids({kU2}), (Ids{"y;2"}));
    EXPECT_TRUE(beacon->getEnteredIdsForBeaconUuids({}).empty());
    EXPECT_TRUE(beacon->getJustEnteredNotificationsForBeaconUuids({}).empty());
    advance(1);
    EXPECT_TRUE(beacon->getJustEnteredNotificationsForBeaconUuids({kU1, kU2}).empty());

    // Entered under another UUID: the entry is refused and the failure reaches the caller.
    EXPECT_TRUE(beacon->markUserEntered(true, "x;1", kU2, &error));
    EXPECT_EQ(error.domain, "ZarnPDatabase");
    EXPECT_FALSE(beacon->markUserEntered(false, "x;1", kU1, &error));
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids({kU1}), (Ids{"x;1"}));
    Error fresh;
    EXPECT_TRUE(beacon->markUserEntered(false, "x;1", kU2, &fresh));
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids({kU1}), (Ids{"x;1"}));
    EXPECT_TRUE(beacon->markUserEntered(false, "x;1", kU1, &fresh));
    EXPECT_TRUE(fresh.domain.empty());
    EXPECT_TRUE(beacon->getEnteredIdsForBeaconUuids({kU1}).empty());

    // Saved sightings keep an earlier entry of the same notification.
    platform::Beacon ranged1{.proximityUuid = kU1.bytes()};
    platform::Beacon ranged2{.proximityUuid = kU2.bytes()};
    beacon->saveEntered({{"z'3;3", ranged1}, {"y;2", ranged1}});
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids({kU1}), (Ids{"z'3;3"}));
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids({kU2}), (Ids{"y;2"}));
    EXPECT_EQ(beacon->getJustEnteredNotificationsForBeaconUuids({kU1}), (Ids{"z'3;3"}));
    beacon->saveEntered({{"w;4", ranged2}});

    // Many UUIDs and identifiers take several statements; quotes are data.
    std::vector<Uuid> uuids(1200, kU1);
    uuids.push_back(kU2);
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids(uuids), (Ids{"z'3;3", "y;2", "w;4"}));
    std::vector<std::string> ids(1200, "none");
    ids.push_back("z'3;3");
    ids.push_back("w;4");
    beacon->removeEnteredIds(ids);
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids({kU1, kU2}), (Ids{"y;2"}));
    beacon->removeEnteredIds({});
    EXPECT_EQ(beacon->getEnteredIdsForBeaconUuids({kU2}), (Ids{"y;2"}));
}

TEST_F(NotificationDaosTest, BeaconNotificationRowsRoundTripAndAreClearedWithTheState) {
    open();
    ZarnPBeaconNotification a;
    a.setIdentifier("c;1");
    a.setBeaconUuid("b9407f30-f5f8-466e-aff9-25556b57fe6d");
    a.setMessage("Hi");
    a.setMajorId(7);
    a.setData("{}");
    a.setMatchRange(30);
    a.setTriggerOnExit(true);
    a.setNotificationHandlerType(2);
    a.setDwellingMinutes(5);
    a.setTimespans({{dateWithTimeIntervalSince1970(10), std::nullopt},
                    {std::nullopt, dateWithTimeIntervalSince1970(20)}});
    a.setCooldownGroups({{"c", 60}, {"c;1", 30}});
    a.setSegmentationIds({"c"});
    ZarnPBeaconNotification b;
    b.setIdentifier("d;2");
    b.setBeaconUuid("e2c56db5-dffb-48d2-b060-d0f5a71096e0");
    b.setMinorId(3);

    EXPECT_EQ(beacon->addNotifications({a, b}), std::nullopt);
    Error error;
    auto all = beacon->getAllWithError(&error);
    ASSERT_EQ(all.size(), 2u);
    ZarnPBeaconNotification stored = b;
    stored.setMessage("");
    stored.setData("");
    EXPECT_EQ(all[0], a);
    EXPECT_EQ(all[1], stored);
    // The recorded segmentation ids are stamped by a trigger.
    EXPECT_EQ(beacon->saveNotificationTrigger("c;1"), std::nullopt);
    EXPECT_EQ(rows("SELECT segmentation_id r FROM shared_notifications_segmentation_history"), "c");

    EXPECT_EQ(beacon->markNotificationOffered(a, true), std::nullopt);
    EXPECT_TRUE(beacon->getAllWithError(&error)[0].offeredForMatch());
    EXPECT_EQ(beacon->deleteNotifications({a}), std::nullopt);
    EXPECT_EQ(beacon->getAllWithError(&error), std::vector<ZarnPBeaconNotification>{stored});
    EXPECT_EQ(rows("SELECT COUNT(*) r FROM beacon_notifications_timespans"), "0");

    // A refused row leaves the stored ones as they were.
    ZarnPBeaconNotification twin = b;
    EXPECT_TRUE(beacon->replaceNotifications({a, twin, b}));
    EXPECT_EQ(beacon->getAllWithError(&error), std::vector<ZarnPBeaconNotification>{stored});
    EXPECT_EQ(beacon->replaceNotifications({}), std::nullopt);
    EXPECT_TRUE(beacon->getAllWithError(&error).empty());
    EXPECT_TRUE(error.domain.empty());

    beacon->addNotifications({a});
    beacon->markUserEntered(true, "c;1", kU1, nullptr);
    beacon->markUserHasToLeaveFirst("c;1");
    beacon->markUserStartedDwelling("c;1", "m", dateWithTimeIntervalSince1970(1));
    test::RawSqlite(path).exec(
        "INSERT INTO beacon_notifications_segmentation_properties VALUES ('c;1', 'c', 1, 1, 1)");
    EXPECT_EQ(beacon->clearNotifications(), std::nullopt);
    for (const char* table :
         {"beacon_notifications", "beacon_notifications_user_entered", "beacon_notifications_user_dwelling",
          "beacon_notifications_user_has_to_exit_first", "beacon_notifications_timespans",
          "beacon_notifications_cooldown_groups", "beacon_notifications_segmentation_ids",
          "beacon_notifications_segmentation_properties"})
        EXPECT_EQ(rows(std::string("SELECT COUNT(*) r FROM ") + table), "0") << table;

    test::RawSqlite(path).exec("DROP TABLE beacon_notifications");
    EXPECT_TRUE(beacon->getAllWithError(&error).empty());
    EXPECT_EQ(error.domain, "ZarnPDatabase");
    EXPECT_TRUE(beacon->clearNotifications());
    EXPECT_TRUE(beacon->deleteAllNotifications());
}

}  // namespace
}  // namespace zarn
