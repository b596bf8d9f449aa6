// Saving whole data updates: a sequence of updates with every table's rows compared after each,
// ids included; failures that leave the store as it was; large deletions.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>

#include "core/ZarnPPublicLogging.h"
#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPTransaction.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

using Tables = std::map<std::string, std::vector<std::string>>;

class RecordingPublicLog final : public ZarnPPublicLogging {
  public:
    void logMessageIfEnabledAndArguments(const std::shared_ptr<ZarnPContext>&, std::string_view fmt,
                                         const std::vector<FormatArg>& arguments) override {
        lines.push_back(formatArgs(fmt, arguments));
    }
    bool contains(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::vector<std::string> lines;
};

// The columns each table is compared by, in their sort order.
const std::map<std::string, std::string> kTableColumns = {
    {"geohash", "id, version, value"},
    {"geohash_notification", "geohashid, notificationid"},
    {"notification",
     "id, campaignid, geofence_id, latitude, longitude, match_range, beacon_uuid, beacon_major_id, "
     "beacon_minor_id, region_label, is_polygon, is_external_region, opening_hours_mon"},
    {"campaign",
     "id, server_id, message, handler_type, data, trigger_on_exit, dwelling_minutes, "
     "campaign_start_timestamp, "
     "campaign_end_timestamp"},
    {"polygon", "id, notification_internal_id, latitude, longitude, match_range"},
    {"custom_region_fields", "notificationid, \"key\", value"},
    {"trigger_properties", "notificationid, \"key\", value"},
    {"segmentation_property", "campaignid, \"key\", value, property_type, operator, interval, occurrences"},
    {"timespan", "campaignid, startTimestamp, endTimestamp"},
    {"cooldown_group", "id, value"},
    {"set_segmentation_property", "\"key\", value, is_server_property"},
};

// Every row of every data-update table, read on a second connection, as "a|b|c" text.
Tables readTables(const std::string& path) {
    Tables out;
    test::RawSqlite raw(path);
    for (const auto& [table, columns] : kTableColumns) {
        sqlite3_stmt* stmt = nullptr;
        std::string sql = "SELECT " + columns + " FROM " + table + " ORDER BY " + columns;
        if (sqlite3_prepare_v2(raw.handle(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(raw.handle());
            continue;
        }
        auto& rows = out[table];
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                if (i)
                    row += "|";
                if (sqlite3_column_type(stmt, i) == SQLITE_NULL)
                    row += "NULL";
                else
                    row += reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            }
            rows.push_back(row);
        }
        sqlite3_finalize(stmt);
    }
    return out;
}

class DataUpdateSaveTest : public ::testing::Test {
  protected:
    DataUpdateSaveTest() {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        db->disableThreadCheck();
        db->setOpenRetryDelay(std::chrono::milliseconds(0));
        EXPECT_TRUE(db->database());
    }

    static std::vector<uint8_t> build(const std::string& json) {
        std::string error;
        auto description = sim::DataUpdateBuilder::fromJson(Value::parse(json), &error);
        EXPECT_TRUE(description) << error;
        return description ? sim::DataUpdateBuilder::build(*description) : std::vector<uint8_t>{};
    }

    // A statement failing inside a save: the campaign table refuses the server id "refused".
    bool refuseCampaignsNamedRefused() {
        return test::RawSqlite(path).exec(
            "CREATE TRIGGER refuse BEFORE INSERT ON campaign WHEN NEW.server_id = 'refused' "
            "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }

    DataUpdateSaveResult save(const std::vector<uint8_t>& buffer) {
        const auto* root = ZarnPDataUpdateReader::read(std::span<const uint8_t>(buffer));
        EXPECT_TRUE(root);
        // The exchange builds one orchestrator per save.
        ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(db, publicLog);
        return orchestrator.save(*root, nullptr);
    }

    // Compares the tables the step names; the others must be as they were before it.
    void expectTables(const std::string& step, const Tables& changed) {
        Tables actual = readTables(path);
        for (const auto& [table, rows] : actual) {
            auto expected = changed.count(table) ? changed.at(table) : last[table];
            EXPECT_EQ(rows, expected) << step << ": table " << table;
        }
        last = actual;
    }

    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
    std::shared_ptr<ZarnPSqLiteDb> db =
        std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
    // The stores registered as the module registers them, so the file is migrated on opening.
    std::shared_ptr<RecordingPublicLog> publicLog = std::make_shared<RecordingPublicLog>();
    std::vector<std::shared_ptr<ZarnPSqLiteDao>> registered =
        ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db);
    Tables last = {};
};

using Uuids = std::set<std::string>;

TEST_F(DataUpdateSaveTest, SequenceOfUpdatesWritesEveryTableWithItsIds) {
    ZarnPSqLiteSegmentationDao appValues(db);
    appValues.setSegmentationValue("app", "own", false);

    // 1. A full update: two campaigns over two tiles, beacons, circles, children of every kind.
    auto result = save(build(R"({
        "campaigns": [
            {"campaignId": "C1", "message": "Hello", "handlerType": "regular", "dwellingMinutes": 5,
             "campaignStartTimestamp": 1700000000999, "campaignEndTimestamp": -1,
             "timeSpans": [{"startTimestamp": 1000, "endTimestamp": -1}],
             "segmentationProperties": [{"key": "tier", "value": "gold", "propertyType": 1,
                                         "segmentationOperator": 2, "interval": -1, "occurrences": 3}]},
            {"campaignId": "C2", "data": "https://x"}],
        "tiles": [
            {"value": "u1", "lastVersion": 10, "notifications": [
                {"campaign": "C1", "geofenceId": "g1", "location": {"latitude": 1.5, "longitude": 2.5},
                 "matchRange": 100, "openingHours": {"monday": 4294967295},
                 "customRegionFields": [{"key": "shop", "value": "7"}]},
                {"campaign": "C2", "geofenceId": "g2", "beaconUuid": "B1", "beaconMajorId": 4,
                 "circlesList": [{"centerLatitude": 1, "centerLongitude": 2, "radius": 3},
                                 {"centerLatitude": 4, "centerLongitude": 5, "radius": 6.5}]}]},
            {"value": "u2", "lastVersion": 20, "notifications": [
                {"campaign": "C1", "geofenceId": "g3", "beaconUuid": "B2", "beaconMajorId": 1,
                 "beaconMinorId": 2},
                {"campaign": "C1", "geofenceId": "x1", "label": "Door",
                 "triggerProperties": [{"key": "door", "value": "north"}]},
                {"campaign": "C2", "geofenceId": "g6", "beaconUuid": "B1", "beaconMajorId": 9}]}],
        "cooldownGroups": [{"id": "00000000000000000000000000000000", "value": 60}, {"id": "C1", "value": 30}],
        "serverSideSegmentationProperties": [{"key": "level", "value": "2"}, {"key": "", "value": "lost"}]})"));
    EXPECT_EQ(result.beaconUuids(), (Uuids{"B1", "B2"}));
    EXPECT_EQ(result.storedBeaconUuids(), (Uuids{"B1", "B2"}));
    EXPECT_FALSE(result.deleteAllOldData());
    expectTables(
        "full",
        {{"geohash", {"1|10|u1", "2|20|u2"}},
         {"geohash_notification", {"1|1", "1|2", "2|3", "2|4", "2|5"}},
         {"notification",
          {"1|1|g1|1.5|2.5|100|NULL|NULL|NULL|NULL|0|0|4294967295",
           "2|2|g2|NULL|NULL|NULL|B1|4|NULL|NULL|1|0|NULL", "3|1|g3|NULL|NULL|NULL|B2|1|2|NULL|0|0|NULL",
           "4|1|x1|NULL|NULL|NULL|NULL|NULL|NULL|Door|0|1|NULL",
           "5|2|g6|NULL|NULL|NULL|B1|9|NULL|NULL|0|0|NULL"}},
         {"campaign", {"1|C1|Hello|1|NULL|0|5|1700000000|NULL", "2|C2|NULL|NULL|https://x|0|NULL|NULL|NULL"}},
         {"polygon", {"1|2|1.0|2.0|3", "2|2|4.0|5.0|6.5"}},
         {"custom_region_fields", {"1|shop|7"}},
         {"trigger_properties", {"4|door|north"}},
         {"segmentation_property", {"1|tier|gold|1|2|NULL|3"}},
         {"timespan", {"1|1000|-1"}},
         {"cooldown_group", {"00000000000000000000000000000000|60", "C1|30"}},
         {"set_segmentation_property", {"level|2|1", "own|app|0"}}});
    EXPECT_TRUE(publicLog->contains("Saving data update"));
    EXPECT_TRUE(publicLog->contains("Deleting geohash u1"));
    EXPECT_TRUE(publicLog->contains("Received beacon UUIDs (B1, B2)"));
    EXPECT_TRUE(publicLog->contains("Data update save completed"));
    EXPECT_TRUE(env.consoleContains("Skipping server segmentation property without a key"));

    // 2. A quick sync: g1 of C1 changes in a stored tile (which keeps its id and version), a new
    // tile arrives; nothing else is deleted, and the tiles' other notifications stay.
    result = save(build(R"({"isQuickSyncUpdate": true,
        "campaigns": [{"temporaryId": 7, "campaignId": "C1", "message": "Changed"}],
        "tiles": [
            {"value": "u1", "lastVersion": 99, "notifications": [
                {"temporaryCampaignId": 7, "geofenceId": "g1", "label": "new"}]},
            {"value": "u3", "lastVersion": 30, "notifications": [
                {"temporaryCampaignId": 7, "geofenceId": "g4", "beaconUuid": "B3"}]}]})"));
    EXPECT_EQ(result.beaconUuids(), (Uuids{"B3"}));
    EXPECT_EQ(result.storedBeaconUuids(), (Uuids{"B1", "B2", "B3"}));
    EXPECT_TRUE(publicLog->contains("Saving QuickSync data update"));
    expectTables(
        "quick sync",
        {{"geohash", {"1|10|u1", "2|20|u2", "3|30|u3"}},
         {"geohash_notification", {"1|2", "1|6", "2|3", "2|4", "2|5", "3|7"}},
         {"notification",
          {"2|2|g2|NULL|NULL|NULL|B1|4|NULL|NULL|1|0|NULL", "3|1|g3|NULL|NULL|NULL|B2|1|2|NULL|0|0|NULL",
           "4|1|x1|NULL|NULL|NULL|NULL|NULL|NULL|Door|0|1|NULL",
           "5|2|g6|NULL|NULL|NULL|B1|9|NULL|NULL|0|0|NULL",
           "6|3|g1|NULL|NULL|NULL|NULL|NULL|NULL|new|0|0|NULL",
           "7|3|g4|NULL|NULL|NULL|B3|-1|NULL|NULL|0|0|NULL"}},
         {"campaign",
          {"1|C1|Hello|1|NULL|0|5|1700000000|NULL", "2|C2|NULL|NULL|https://x|0|NULL|NULL|NULL",
           "3|C1|Changed|NULL|NULL|0|NULL|NULL|NULL"}},
         {"custom_region_fields", {}}});

    // 3. Deletions, one cooldown group replaced, the service's segmentation values replaced.
    result = save(build(R"({"deletedNotifications": [{"campaignId": "C2", "geofenceId": "g2"},
                                                       {"campaignId": "C2", "geofenceId": "g6"},
                                                       {"campaignId": "C9", "geofenceId": "g3"}],
        "cooldownGroups": [{"id": "C1", "value": 45}],
        "deletePreviousServerSideSegmentationProperties": true,
        "serverSideSegmentationProperties": [{"key": "vip", "value": "yes"}]})"));
    EXPECT_EQ(result.beaconUuids(), Uuids{});
    EXPECT_EQ(result.storedBeaconUuids(), (Uuids{"B2", "B3"}));
    expectTables(
        "deletions",
        {{"geohash_notification", {"1|6", "2|3", "2|4", "3|7"}},
         {"notification",
          {"3|1|g3|NULL|NULL|NULL|B2|1|2|NULL|0|0|NULL", "4|1|x1|NULL|NULL|NULL|NULL|NULL|NULL|Door|0|1|NULL",
           "6|3|g1|NULL|NULL|NULL|NULL|NULL|NULL|new|0|0|NULL",
           "7|3|g4|NULL|NULL|NULL|B3|-1|NULL|NULL|0|0|NULL"}},
         {"campaign", {"1|C1|Hello|1|NULL|0|5|1700000000|NULL", "3|C1|Changed|NULL|NULL|0|NULL|NULL|NULL"}},
         {"polygon", {}},
         {"cooldown_group", {"00000000000000000000000000000000|60", "C1|45"}},
         {"set_segmentation_property", {"own|app|0", "vip|yes|1"}}});

    // 4. A full update of tile u2: its notifications go, their campaign with them; new ids
    // continue from each table's highest.
    result = save(build(R"({"campaigns": [{"campaignId": "C3"}],
        "tiles": [{"value": "u2", "lastVersion": 21, "notifications": [{"campaign": "C3", "geofenceId": "g5"}]}]})"));
    expectTables(
        "full update of one tile",
        {{"geohash", {"1|10|u1", "3|30|u3", "4|21|u2"}},
         {"geohash_notification", {"1|6", "3|7", "4|8"}},
         {"notification",
          {"6|3|g1|NULL|NULL|NULL|NULL|NULL|NULL|new|0|0|NULL",
           "7|3|g4|NULL|NULL|NULL|B3|-1|NULL|NULL|0|0|NULL",
           "8|4|g5|NULL|NULL|NULL|NULL|NULL|NULL|NULL|0|0|NULL"}},
         {"campaign", {"3|C1|Changed|NULL|NULL|0|NULL|NULL|NULL", "4|C3|NULL|NULL|NULL|0|NULL|NULL|NULL"}},
         {"trigger_properties", {}},
         {"segmentation_property", {}},
         {"timespan", {}}});
    EXPECT_EQ(result.storedBeaconUuids(), (Uuids{"B3"}));

    // 5. A quick sync that asks to delete all deletes nothing, but says so.
    result = save(build(R"({"isQuickSyncUpdate": true, "deleteAllOldData": true})"));
    EXPECT_TRUE(result.deleteAllOldData());
    expectTables("quick sync with delete-all", {});

    // 6. Delete-all: every tile goes, then its notifications and campaigns; ids start again.
    result = save(build(R"({"deleteAllOldData": true, "campaigns": [{"campaignId": "C4"}],
        "tiles": [{"value": "u9", "notifications": [{"campaign": "C4", "geofenceId": "g9", "beaconUuid": "B9"},
                                                     {"temporaryCampaignId": 77, "geofenceId": "g10"}]}]})"));
    EXPECT_TRUE(result.deleteAllOldData());
    EXPECT_EQ(result.storedBeaconUuids(), (Uuids{"B9"}));
    EXPECT_TRUE(publicLog->contains("Deleting all old data"));
    expectTables("delete-all", {{"geohash", {"1|0|u9"}},
                                {"geohash_notification", {"1|1", "1|2"}},
                                {"notification",
                                 {"1|1|g9|NULL|NULL|NULL|B9|-1|NULL|NULL|0|0|NULL",
                                  "2|0|g10|NULL|NULL|NULL|NULL|NULL|NULL|NULL|0|0|NULL"}},
                                {"campaign", {"1|C4|NULL|NULL|NULL|0|NULL|NULL|NULL"}}});

    // 7. An empty full update runs the orphan passes, which find nothing to delete.
    result = save(build(R"({})"));
    EXPECT_EQ(result.beaconUuids(), Uuids{});
    EXPECT_FALSE(result.deleteAllOldData());
    expectTables("empty", {});
}

TEST_F(DataUpdateSaveTest, AFailingSaveLeavesTheStoreAsItWasAndRaises) {
    save(build(R"({"campaigns": [{"campaignId": "C1"}], "cooldownGroups": [{"id": "C1", "value": 1}],
        "tiles": [{"value": "u1", "notifications": [{"campaign": "C1", "geofenceId": "g1"}]}]})"));
    Tables before = readTables(path);
    ASSERT_TRUE(refuseCampaignsNamedRefused());
    struct Case {
        std::string label;
        std::string update;
    };
    const std::vector<Case> cases = {
        // A campaign the table refuses fails the save after every deletion ran.
        {"campaign the table refuses",
         R"({"deleteAllOldData": true, "cooldownGroups": [{"id": "C1", "value": 9}],
             "serverSideSegmentationProperties": [{"key": "k", "value": "v"}],
             "campaigns": [{"campaignId": "C2"}, {"campaignId": "refused"}]})"},
        // A quick-sync pair whose campaign is not in the update cannot be formed.
        {"quick-sync notification of an unknown campaign",
         R"({"isQuickSyncUpdate": true,
             "tiles": [{"value": "u2", "notifications": [{"temporaryCampaignId": 5, "geofenceId": "g"}]}]})"},
        {"deletion without a geofence id", R"({"deletedNotifications": [{"campaignId": "C1"}]})"},
    };
    for (const auto& c : cases) {
        publicLog->lines.clear();
        EXPECT_THROW(save(build(c.update)), ZarnPDatabaseException) << c.label;
        EXPECT_EQ(readTables(path), before) << c.label;
        EXPECT_TRUE(publicLog->contains(
            "Exception occurred while saving data update due to: Failed to execute query"))
            << c.label;
        EXPECT_FALSE(publicLog->contains("Data update save completed")) << c.label;
        EXPECT_FALSE(db->database()->inTransaction()) << c.label;
    }

    // A transaction that cannot begin (another connection holds the file) fails the save before
    // anything is read or written; the next save works again.
    publicLog->lines.clear();
    {
        test::RawSqlite other(path);
        ASSERT_TRUE(other.exec("BEGIN EXCLUSIVE"));
        db->database()->setBusyRetryTimeout(2);
        EXPECT_THROW(save(build(R"({"deleteAllOldData": true})")), ZarnPDatabaseException);
        EXPECT_FALSE(publicLog->contains("Deleting all old data"));
        other.exec("ROLLBACK");
    }
    EXPECT_EQ(readTables(path), before);
    EXPECT_TRUE(save(build(R"({"deleteAllOldData": true})")).deleteAllOldData());
    EXPECT_TRUE(readTables(path)["notification"].empty());
}

// SQLite can end a transaction by itself (here a trigger's RAISE(ROLLBACK) while the service's
// segmentation values are written, a store that logs instead of raising). The save must notice,
// or every later statement would commit on its own.
TEST_F(DataUpdateSaveTest, ATransactionSqliteRolledBackByItselfFailsTheSave) {
    save(build(R"({"campaigns": [{"campaignId": "C1"}],
        "tiles": [{"value": "u1", "notifications": [{"campaign": "C1", "geofenceId": "g1"}]}]})"));
    Tables before = readTables(path);
    {
        test::RawSqlite raw(path);
        ASSERT_TRUE(
            raw.exec("CREATE TRIGGER refuse BEFORE INSERT ON set_segmentation_property "
                     "BEGIN SELECT RAISE(ROLLBACK, 'refused'); END"));
    }
    EXPECT_THROW(save(build(R"({"campaigns": [{"campaignId": "C2"}],
        "serverSideSegmentationProperties": [{"key": "k", "value": "v"}],
        "tiles": [{"value": "u1", "notifications": [{"campaign": "C2", "geofenceId": "g2"}]}]})")),
                 ZarnPDatabaseException);
    EXPECT_EQ(readTables(path), before);

    // The connection's answer follows SQLite's, and a guard whose transaction is gone ends quietly.
    auto connection = db->database();
    {
        ZarnPTransaction transaction(connection, ZarnPDurability::Normal);
        EXPECT_FALSE(
            connection->executeUpdate("INSERT INTO set_segmentation_property (\"key\", value) VALUES "
                                      "('a', 'b')"));
        EXPECT_FALSE(connection->inTransaction());
    }
    EXPECT_FALSE(env.consoleContains("Failed to roll back"));
}

// A campaign id or tile value that reads as nothing cannot be stored; only that campaign (with its
// children and notifications) or that tile (with its notifications) is left out, so the update is
// not refused again each time the service resends it.
TEST_F(DataUpdateSaveTest, AnUnreadableCampaignIdOrTileValueSkipsOnlyThatCampaignOrTile) {
    const std::string invalid = "\xC3(";
    sim::DataUpdateDescription full;
    full.campaigns = {{.campaignId = "C1"},
                      {.campaignId = "", .segmentationProperties = {{.key = "k"}}, .timeSpans = {{1, 2}}},
                      {.campaignId = invalid},
                      {.campaignId = "C4"}};
    full.tiles = {{.value = "u1",
                   .notifications = {{.campaign = "C1", .geofenceId = "g1"},
                                     {.temporaryCampaignId = 2, .geofenceId = "g2"},
                                     {.temporaryCampaignId = 3, .geofenceId = "g3"},
                                     {.campaign = "C4", .geofenceId = "g4"}}},
                  {.value = "", .notifications = {{.campaign = "C1", .geofenceId = "g5"}}},
                  {.value = "u" + invalid, .notifications = {{.campaign = "C4", .geofenceId = "g6"}}},
                  {.value = "u2", .notifications = {{.campaign = "C4", .geofenceId = "g7"}}}};
    const Tables expected = {
        {"geohash", {"1|0|u1", "2|0|u2"}},
        {"geohash_notification", {"1|1", "1|2", "2|3"}},
        {"notification",
         {"1|1|g1|NULL|NULL|NULL|NULL|NULL|NULL|NULL|0|0|NULL",
          "2|2|g4|NULL|NULL|NULL|NULL|NULL|NULL|NULL|0|0|NULL",
          "3|2|g7|NULL|NULL|NULL|NULL|NULL|NULL|NULL|0|0|NULL"}},
        {"campaign", {"1|C1|NULL|NULL|NULL|0|NULL|NULL|NULL", "2|C4|NULL|NULL|NULL|0|NULL|NULL|NULL"}}};
    // Resent, the same update is saved the same way.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        publicLog->lines.clear();
        ASSERT_NO_THROW(save(sim::DataUpdateBuilder::build(full))) << attempt;
        expectTables("full, attempt " + std::to_string(attempt), expected);
        EXPECT_TRUE(publicLog->contains("Data update save completed")) << attempt;
    }
    EXPECT_EQ(env.consoleCount("Skipping campaign without a readable id"), 4);
    EXPECT_EQ(env.consoleCount("Skipping tile without a readable value"), 4);

    // A quick sync changes g1 and leaves out what it cannot store, deleting nothing for it.
    sim::DataUpdateDescription quick;
    quick.isQuickSyncUpdate = true;
    quick.campaigns = {{.campaignId = "C1"}, {.campaignId = invalid}};
    quick.tiles = {{.value = "u1",
                    .notifications = {{.campaign = "C1", .geofenceId = "g1", .label = "new"},
                                      {.temporaryCampaignId = 2, .geofenceId = "g4"}}},
                   {.value = "", .notifications = {{.campaign = "C1", .geofenceId = "g7"}}}};
    ASSERT_NO_THROW(save(sim::DataUpdateBuilder::build(quick)));
    expectTables(
        "quick sync",
        {{"notification",
          {"2|2|g4|NULL|NULL|NULL|NULL|NULL|NULL|NULL|0|0|NULL",
           "3|2|g7|NULL|NULL|NULL|NULL|NULL|NULL|NULL|0|0|NULL",
           "4|3|g1|NULL|NULL|NULL|NULL|NULL|NULL|new|0|0|NULL"}},
         {"geohash_notification", {"1|2", "1|4", "2|3"}},
         {"campaign", {"2|C4|NULL|NULL|NULL|0|NULL|NULL|NULL", "3|C1|NULL|NULL|NULL|0|NULL|NULL|NULL"}}});
}

TEST_F(DataUpdateSaveTest, OneOrchestratorReusedReadsFreshIdsForEachSave) {
    auto first = build(R"({"campaigns": [{"campaignId": "C1"}],
        "tiles": [{"value": "u1", "notifications": [{"campaign": "C1", "geofenceId": "g1"}]}]})");
    auto failing = build(R"({"campaigns": [{"campaignId": "C1"}, {"campaignId": "refused"}]})");
    ASSERT_TRUE(refuseCampaignsNamedRefused());
    ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(db, publicLog);
    orchestrator.save(*ZarnPDataUpdateReader::read(std::span<const uint8_t>(first)), nullptr);
    EXPECT_THROW(orchestrator.save(*ZarnPDataUpdateReader::read(std::span<const uint8_t>(failing)), nullptr),
                 ZarnPDatabaseException);
    orchestrator.save(*ZarnPDataUpdateReader::read(std::span<const uint8_t>(first)), nullptr);
    // The second full save of u1 replaced the first: the same ids, not ids counted on.
    auto tables = readTables(path);
    EXPECT_EQ(tables["geohash"], (std::vector<std::string>{"1|0|u1"}));
    EXPECT_EQ(tables["campaign"], (std::vector<std::string>{"1|C1|NULL|NULL|NULL|0|NULL|NULL|NULL"}));
    EXPECT_EQ(tables["geohash_notification"], (std::vector<std::string>{"1|1"}));

    orchestrator.clearAllData(nullptr);
    EXPECT_TRUE(readTables(path)["geohash"].empty());
}

TEST_F(DataUpdateSaveTest, QuickSyncDeletingFiveThousandNotificationPairsCompletes) {
    constexpr int kCount = 5000;
    sim::DataUpdateDescription full;
    full.campaigns.push_back({.campaignId = "C"});
    sim::DataUpdateTile tile{.value = "u"};
    for (int i = 0; i < kCount; ++i)
        tile.notifications.push_back({.campaign = "C", .geofenceId = "g" + std::to_string(i)});
    full.tiles.push_back(tile);
    save(sim::DataUpdateBuilder::build(full));

    // The same pairs again, changed: every old row is deleted pair by pair and written anew.
    sim::DataUpdateDescription quick = full;
    quick.isQuickSyncUpdate = true;
    for (auto& n : quick.tiles[0].notifications) n.label = "changed";
    save(sim::DataUpdateBuilder::build(quick));
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM notification"), kCount);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM notification WHERE region_label='changed'"), kCount);
    // Deleted first, so the new rows take the freed ids again.
    EXPECT_EQ(raw.integer("SELECT MAX(id) FROM notification"), kCount);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM geohash_notification"), kCount);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM geohash"), 1);
}

}  // namespace
}  // namespace zarn
