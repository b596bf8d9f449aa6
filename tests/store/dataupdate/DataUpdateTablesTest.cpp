// The tables a data update writes: value rules, tiles, deletions, cascades and migrations.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <map>

#include "core/ZarnPLocationUtil.h"
#include "core/ZarnPPublicLogging.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPTransaction.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/store/dataupdate/DataUpdateTestSupport.h"
#include "tests/support/TestEnvironment.h"

// The table specifications name only the fields a case sets.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

using test::Buffer;
using test::CampaignSpec;
using test::NotificationSpec;
using Row = std::map<std::string, ZarnPSqlValue>;

class RecordingPublicLog final : public ZarnPPublicLogging {
  public:
    void logMessageIfEnabledAndArguments(const std::shared_ptr<ZarnPContext>&, std::string_view fmt,
                                         const std::vector<FormatArg>& arguments) override {
        lines.push_back(formatArgs(fmt, arguments));
    }
    std::vector<std::string> lines;
};

class DataUpdateTablesTest : public ::testing::Test {
  protected:
    DataUpdateTablesTest() {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        db->disableThreadCheck();
        db->setOpenRetryDelay(std::chrono::milliseconds(0));
    }

    // Opens (and so migrates) the file with every data-update store registered.
    test::DataUpdateStores& open() {
        if (!stores) {
            stores = std::make_unique<test::DataUpdateStores>(db, publicLog);
            EXPECT_TRUE(db->database());
        }
        return *stores;
    }

    int64_t saveTile(const std::string& value, std::optional<int64_t> version = std::nullopt) {
        Buffer b;
        return open().geohash->save(*b.root(b.geohash(value, version)), nullptr);
    }
    int64_t saveNotification(const NotificationSpec& description, int64_t campaignId, int64_t geohashId) {
        Buffer b;
        return open().notification->save(*b.root(b.notification(description)), campaignId, geohashId);
    }
    int64_t saveCampaign(const CampaignSpec& description) {
        Buffer b;
        return open().campaign->save(*b.root(b.campaign(description)));
    }

    // The columns of one row, by their stored types.
    Row row(const std::string& table, const std::vector<std::string>& columns, const std::string& where) {
        std::string sql = "SELECT ";
        for (size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + columns[i];
        auto values = test::rowValues(path, sql + " FROM " + table + " WHERE " + where);
        Row out;
        for (size_t i = 0; i < values.size() && i < columns.size(); ++i) out[columns[i]] = values[i];
        return out;
    }

    static void expectRow(const Row& actual, const Row& expected, const std::string& label) {
        for (const auto& [column, value] : expected) {
            auto found = actual.find(column);
            ASSERT_NE(found, actual.end()) << label << ": no column " << column;
            EXPECT_EQ(found->second, value)
                << label << ": " << column << " is " << test::describeValue(found->second) << ", expected "
                << test::describeValue(value);
        }
    }

    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
    std::shared_ptr<ZarnPSqLiteDb> db =
        std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
    std::shared_ptr<RecordingPublicLog> publicLog = std::make_shared<RecordingPublicLog>();
    std::unique_ptr<test::DataUpdateStores> stores;
};

const std::vector<std::string> kNotificationColumns = {
    "campaignid",        "geofence_id",       "latitude",          "longitude",          "match_range",
    "match_range_lat",   "match_range_long",  "offered",           "delete_after_match", "opening_hours_mon",
    "opening_hours_tue", "opening_hours_wed", "opening_hours_thu", "opening_hours_fri",  "opening_hours_sat",
    "opening_hours_sun", "beacon_uuid",       "beacon_major_id",   "beacon_minor_id",    "region_label",
    "is_polygon",        "is_external_region"};

TEST_F(DataUpdateTablesTest, NotificationValueRules) {
    const ZarnPSqlValue null;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        std::string label;
        NotificationSpec description;
        Row expected;  // columns not named are NULL, is_polygon and is_external_region 0
    };
    std::vector<Case> cases = {
        {"geofence with a range",
         {.geofenceId = "g1", .label = "Shop", .location = {{52.25f, 4.5f}}, .matchRange = 150},
         {{"geofence_id", "g1"},
          {"region_label", "Shop"},
          {"latitude", 52.25},
          {"longitude", 4.5},
          {"match_range", int64_t{150}},
          {"match_range_lat", 150 / 111111.0},
          {"match_range_long", 150 / (std::cos(52.25 / 180.0 * M_PI) * 111111.0)}}},
        {"geofence without a range",
         {.geofenceId = "g2", .location = {{10.5f, -3.25f}}},
         {{"geofence_id", "g2"},
          {"latitude", 10.5},
          {"longitude", -3.25},
          {"match_range_long", ZarnPLocationUtil::meterToLongitudeDegrees(-1, 10.5)}}},
        {"a zero range is a range",
         {.geofenceId = "g3", .location = {{1.0f, 2.0f}}, .matchRange = 0},
         {{"geofence_id", "g3"},
          {"latitude", 1.0},
          {"longitude", 2.0},
          {"match_range", int64_t{0}},
          {"match_range_lat", 0.0},
          {"match_range_long", 0.0}}},
        {"external region",
         {.geofenceId = "x1", .triggerProperties = {{"shop", "12"}}},
         {{"geofence_id", "x1"}, {"is_external_region", int64_t{1}}}},
        {"beacon without major and minor",
         {.geofenceId = "b1", .beaconUuid = "a1b2c3d4e5f6a7b8c9d0e1f2a3b4c5d6"},
         {{"geofence_id", "b1"},
          {"beacon_uuid", "a1b2c3d4e5f6a7b8c9d0e1f2a3b4c5d6"},
          {"beacon_major_id", int64_t{-1}}}},
        {"beacon with major and minor",
         {.beaconUuid = "u", .majorId = 7, .minorId = 0},
         {{"beacon_uuid", "u"}, {"beacon_major_id", int64_t{7}}, {"beacon_minor_id", int64_t{0}}}},
        {"empty beacon uuid is no beacon", {.beaconUuid = "", .majorId = 7, .minorId = 9}, {}},
        {"invalid UTF-8 beacon uuid is no beacon", {.beaconUuid = "\xff\xfe", .majorId = 7}, {}},
        {"empty texts are NULL", {.geofenceId = "", .label = ""}, {}},
        {"invalid UTF-8 label is NULL", {.geofenceId = "g\xc3", .label = "\xc3\x28"}, {}},
        {"a non-finite coordinate is no location",
         {.geofenceId = "n1", .location = {{nan, 4.0f}}, .matchRange = 100},
         {{"geofence_id", "n1"}, {"match_range", int64_t{100}}, {"match_range_lat", 100 / 111111.0}}},
        {"an infinite coordinate is no location", {.location = {{1.0f, inf}}}, {}},
        {"opening hours on Monday only",
         {.openingHours = {{9u | 30u << 8 | 17u << 16 | 45u << 24, 0, 0, 0, 0, 0, 0}}},
         {{"opening_hours_mon", int64_t{9 | 30 << 8 | 17 << 16 | 45 << 24}}}},
        {"opening hours with the top bit set stay positive",
         {.openingHours = {{0, 0, 0, 0, 0, 0, 0xFF000009u}}},
         {{"opening_hours_sun", int64_t{0xFF000009u}}}},
        {"a polygon", {.circles = {{{1, 2, 3}}}}, {{"is_polygon", int64_t{1}}}},
        {"an empty circle list is no polygon", {.circles = std::vector<test::CircleSpec>{}}, {}},
    };
    int64_t tile = saveTile("u1hx");
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        int64_t id = saveNotification(c.description, 40 + i, tile);
        Row expected;
        for (const auto& column : kNotificationColumns) expected[column] = null;
        expected["is_polygon"] = int64_t{0};
        expected["is_external_region"] = int64_t{0};
        expected["campaignid"] = int64_t(40 + i);
        for (const auto& [column, value] : c.expected) expected[column] = value;
        expectRow(row("notification", kNotificationColumns, "id=" + std::to_string(id)), expected, c.label);
    }
    // Consecutive ids from 1, each linked to its tile.
    EXPECT_EQ(stores->count("notification"), static_cast<long long>(cases.size()));
    EXPECT_EQ(
        stores->column("SELECT group_concat(notificationid) FROM geohash_notification WHERE geohashid=" +
                       std::to_string(tile))[0],
        "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16");
}

TEST_F(DataUpdateTablesTest, CampaignValueRules) {
    const ZarnPSqlValue null;
    struct Case {
        std::string label;
        CampaignSpec description;
        Row expected;
    };
    std::vector<Case> cases = {
        {"every field",
         {.campaignId = "c1",
          .message = "Hello",
          .data = "https://example.org",
          .handlerType = 3,
          .triggerOnExit = true,
          .ignoreAppCooldown = true,
          .dwellingMinutes = 5,
          .experimentId = "e1",
          .experimentMessageId = 2,
          .start = 1700000000999,
          .end = 1800000000000},
         {{"server_id", "c1"},
          {"message", "Hello"},
          {"handler_type", int64_t{3}},
          {"data", "https://example.org"},
          {"trigger_on_exit", int64_t{1}},
          {"dwelling_minutes", int64_t{5}},
          {"experiment_id", "e1"},
          {"experiment_message_id", int64_t{2}},
          {"campaign_start_timestamp", int64_t{1700000000}},
          {"campaign_end_timestamp", int64_t{1800000000}},
          {"ignore_app_cooldown", int64_t{1}}}},
        {"nothing but the id",
         {.campaignId = "c2"},
         {{"server_id", "c2"},
          {"message", null},
          {"handler_type", null},
          {"data", null},
          {"trigger_on_exit", int64_t{0}},
          {"dwelling_minutes", null},
          {"experiment_id", null},
          {"experiment_message_id", null},
          {"campaign_start_timestamp", null},
          {"campaign_end_timestamp", null},
          {"ignore_app_cooldown", int64_t{0}}}},
        {"zero is a value, empty texts are not",
         {.campaignId = "c3",
          .message = "",
          .data = "",
          .dwellingMinutes = 0,
          .experimentId = "",
          .experimentMessageId = 0,
          .start = 999,
          .end = 0},
         {{"message", null},
          {"data", null},
          {"dwelling_minutes", int64_t{0}},
          {"experiment_id", null},
          {"experiment_message_id", int64_t{0}},
          {"campaign_start_timestamp", int64_t{0}},
          {"campaign_end_timestamp", int64_t{0}}}},
        {"seconds are cut toward zero; a result of -1 is not set",
         {.campaignId = "c4", .start = -1999, .end = -2000},
         {{"campaign_start_timestamp", null}, {"campaign_end_timestamp", int64_t{-2}}}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        int64_t id = saveCampaign(cases[i].description);
        EXPECT_EQ(id, static_cast<int64_t>(i + 1));
        std::vector<std::string> columns;
        for (const auto& [column, value] : cases[i].expected) columns.push_back(column);
        expectRow(row("campaign", columns, "id=" + std::to_string(id)), cases[i].expected, cases[i].label);
    }
    // A campaign without its service id is refused by the table, and raises.
    EXPECT_THROW(saveCampaign({.message = "no id"}), ZarnPDatabaseException);
    EXPECT_EQ(stores->count("campaign"), static_cast<long long>(cases.size()));
}

TEST_F(DataUpdateTablesTest, ChildTableValueRules) {
    int64_t campaign = saveCampaign(
        {.campaignId = "c1",
         .timeSpans = {{1000, std::nullopt}, {std::nullopt, 2000}, {5, 6}},
         .segmentationProperties = {
             {.key = "age", .value = "18", .propertyType = 3, .op = 6},
             {.key = "", .value = "", .propertyType = 2, .op = 3, .interval = 0, .occurrences = 3},
             {.key = "c9", .propertyType = 1, .op = 7, .interval = 3600, .occurrences = -1},
             {}}});
    EXPECT_EQ(
        stores->column("SELECT quote(campaignid)||' '||quote(startTimestamp)||' '||quote(endTimestamp) FROM "
                       "timespan ORDER BY rowid"),
        (std::vector<std::string>{"1 1000 -1", "1 -1 2000", "1 5 6"}));
    EXPECT_EQ(stores->column("SELECT quote(campaignid)||' '||quote(\"key\")||' '||quote(value)||' '||"
                             "quote(property_type)||' '||quote(operator)||' '||quote(interval)||' '||"
                             "quote(occurrences) FROM segmentation_property ORDER BY rowid"),
              (std::vector<std::string>{"1 'age' '18' 3 6 NULL NULL", "1 NULL NULL 2 3 0 3",
                                        "1 'c9' NULL 1 7 3600 NULL", "1 NULL NULL 0 0 NULL NULL"}));

    int64_t tile = saveTile("u1");
    int64_t notification =
        saveNotification({.geofenceId = "g1",
                          .customRegionFields = {{"name", "Main St"}, {"", "x"}, {"floor", std::nullopt}},
                          .triggerProperties = {{"shop", "12"}, {"zone", ""}},
                          .circles = {{{52.5f, 4.25f, 12.5f}, {52.75f, 4.5f, 40.0f}, {53.0f, 4.75f, 1.0f}}}},
                         campaign, tile);
    EXPECT_EQ(stores->column("SELECT quote(notificationid)||' '||quote(\"key\")||' '||quote(value) FROM "
                             "custom_region_fields ORDER BY rowid"),
              (std::vector<std::string>{"1 'name' 'Main St'", "1 NULL 'x'", "1 'floor' NULL"}));
    EXPECT_EQ(stores->column("SELECT quote(notificationid)||' '||quote(\"key\")||' '||quote(value) FROM "
                             "trigger_properties ORDER BY rowid"),
              (std::vector<std::string>{"1 'shop' '12'", "1 'zone' NULL"}));

    // The save writes the circles itself, with their own consecutive ids.
    Buffer b;
    const auto* dto = b.root(b.notification(
        {.circles = {
             {{52.5f, 4.25f, 12.5f}, {52.75f, 4.5f, 40.0f}, {53.0f, 4.75f, 1.0f}, {std::nanf(""), 1, 1}}}}));
    stores->polygon->saveCirclesIfPresent(notification, *dto);
    Buffer none;
    stores->polygon->saveCirclesIfPresent(notification, *none.root(none.notification({})));
    EXPECT_EQ(
        stores->column("SELECT id||' '||notification_internal_id||' '||quote(latitude)||' '||"
                       "quote(longitude)||' '||typeof(match_range)||' '||quote(match_range) FROM polygon "
                       "ORDER BY id"),
        (std::vector<std::string>{"1 1 52.5 4.25 real 12.5", "2 1 52.75 4.5 integer 40",
                                  "3 1 53.0 4.75 integer 1"}));

    // Cascades: a deleted campaign takes its spans and rules, a deleted notification its fields,
    // properties and link; its circles go at the next orphan deletion.
    auto connection = db->database();
    ASSERT_TRUE(connection->executeUpdate("DELETE FROM notification"));
    EXPECT_EQ(stores->count("custom_region_fields"), 0);
    EXPECT_EQ(stores->count("trigger_properties"), 0);
    EXPECT_EQ(stores->count("geohash_notification"), 0);
    EXPECT_EQ(stores->count("polygon"), 3);
    stores->polygon->deleteOrphanPolygons();
    EXPECT_EQ(stores->count("polygon"), 0);
    stores->campaign->deleteOrphanCampaigns();
    EXPECT_EQ(stores->count("campaign"), 0);
    EXPECT_EQ(stores->count("timespan"), 0);
    EXPECT_EQ(stores->count("segmentation_property"), 0);
}

TEST_F(DataUpdateTablesTest, TilesAreSavedLookedUpAndListed) {
    open();
    EXPECT_TRUE(stores->geohashRead->getLoadedTiles().empty());

    int64_t first = saveTile("u1hx", std::nullopt);
    int64_t second = saveTile("u1hy", 7);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(stores->geohashRead->getLoadedTiles(),
              (std::vector<ZarnPLoadedTile>{{"u1hx", 0}, {"u1hy", 7}}));

    // A stored tile keeps its id and version; a new one gets the next id.
    Buffer again;
    EXPECT_EQ(
        stores->geohash->getOrSave(*again.root(again.geohash("u1hy", 9, {{.geofenceId = "g"}})), nullptr),
        second);
    Buffer fresh;
    EXPECT_EQ(stores->geohash->getOrSave(*fresh.root(fresh.geohash("u1hz", 3)), nullptr), 3);
    EXPECT_EQ(stores->geohashRead->getLoadedTiles(),
              (std::vector<ZarnPLoadedTile>{{"u1hx", 0}, {"u1hy", 7}, {"u1hz", 3}}));
    EXPECT_EQ(publicLog->lines, (std::vector<std::string>{"Saving geohash u1hx 0", "Saving geohash u1hy 0",
                                                          "Saving geohash u1hz 0"}));
    Buffer logged;
    stores->geohash->save(*logged.root(logged.geohash("u2", 1, {{.geofenceId = "a"}, {.geofenceId = "b"}})),
                          nullptr);
    EXPECT_EQ(publicLog->lines.back(), "Saving geohash u2 2");

    // Deleting a tile removes its links; the notification left without one is an orphan, and so
    // then is its campaign.
    int64_t campaign = saveCampaign({.campaignId = "c1"});
    int64_t kept = saveNotification({.geofenceId = "kept"}, campaign, first);
    saveNotification({.geofenceId = "lost"}, campaign, second);
    int64_t otherCampaign = saveCampaign({.campaignId = "c2"});
    saveNotification({.geofenceId = "lost too"}, otherCampaign, second);
    stores->geohash->deleteByValue("u1hy");
    EXPECT_EQ(stores->count("geohash_notification"), 1);
    stores->notification->deleteOrphanNotifications();
    EXPECT_EQ(stores->column("SELECT id FROM notification"), std::vector<std::string>{std::to_string(kept)});
    stores->campaign->deleteOrphanCampaigns();
    EXPECT_EQ(stores->column("SELECT server_id FROM campaign"), std::vector<std::string>{"c1"});

    stores->geohash->deleteAll();
    EXPECT_TRUE(stores->geohashRead->getLoadedTiles().empty());
    EXPECT_EQ(stores->count("geohash_notification"), 0);
}

TEST_F(DataUpdateTablesTest, IdsCountOnPast32Bits) {
    open();
    const int64_t big = int64_t{1} << 40;
    auto connection = db->database();
    ASSERT_TRUE(connection->executeUpdate("INSERT INTO geohash(id, version, value) VALUES (?, ?, 'old')", big,
                                          int64_t{1} << 35));
    ASSERT_TRUE(connection->executeUpdate("INSERT INTO campaign(id, server_id) VALUES (?, 'old')", big));
    ASSERT_TRUE(
        connection->executeUpdate("INSERT INTO notification(id, campaignid) VALUES (?, ?)", big, big));
    int64_t tile = saveTile("new", int64_t{1} << 33);
    int64_t campaign = saveCampaign({.campaignId = "new", .timeSpans = {{1, 2}}});
    int64_t notification =
        saveNotification({.geofenceId = "new", .customRegionFields = {{"k", "v"}}}, campaign, tile);
    EXPECT_EQ(tile, big + 1);
    EXPECT_EQ(campaign, big + 1);
    EXPECT_EQ(notification, big + 1);
    EXPECT_EQ(stores->column("SELECT geohashid||' '||notificationid FROM geohash_notification")[0],
              std::to_string(big + 1) + " " + std::to_string(big + 1));
    EXPECT_EQ(stores->column("SELECT campaignid FROM timespan")[0], std::to_string(big + 1));
    EXPECT_EQ(stores->column("SELECT notificationid FROM custom_region_fields")[0], std::to_string(big + 1));
    EXPECT_EQ(stores->geohashRead->getLoadedTiles().back(), ZarnPLoadedTile("new", int64_t{1} << 33));
}

TEST_F(DataUpdateTablesTest, DeletionByCampaignAndGeofencePairs) {
    int64_t tile = saveTile("t");
    // The same service campaign saved by two updates: rows of both are matched by its server id.
    int64_t a1 = saveCampaign({.campaignId = "camp'a"});
    int64_t a2 = saveCampaign({.campaignId = "camp'a"});
    int64_t b = saveCampaign({.campaignId = "camp-b"});
    saveNotification({.geofenceId = "g'1"}, a1, tile);        // 1: deleted
    saveNotification({.geofenceId = "g'1"}, a2, tile);        // 2: deleted
    saveNotification({.geofenceId = "g'1"}, b, tile);         // 3: other campaign, kept
    saveNotification({.geofenceId = "g2"}, a1, tile);         // 4: other geofence, kept
    saveNotification({.geofenceId = "x OR 1=1"}, b, tile);    // 5: deleted
    saveNotification({.geofenceId = std::nullopt}, b, tile);  // 6: no geofence id, kept
    saveNotification({.geofenceId = "g3", .customRegionFields = {{"k", "v"}}}, b, tile);  // 7: deleted

    stores->notification->deleteByCampaignIdsAndGeofenceIds({});
    EXPECT_EQ(stores->count("notification"), 7);
    // A pair without its second id raises before anything is deleted.
    EXPECT_THROW(stores->notification->deleteByCampaignIdsAndGeofenceIds({{"camp-b", "g3"}, {"camp-b"}}),
                 ZarnPDatabaseException);
    EXPECT_EQ(stores->count("notification"), 7);

    stores->notification->deleteByCampaignIdsAndGeofenceIds(
        {{"camp'a", "g'1"}, {"camp-b", "x OR 1=1"}, {"camp-b", "g3"}, {"nobody", "g2"}, {"camp-b", "g3"}});
    EXPECT_EQ(stores->column("SELECT group_concat(id) FROM (SELECT id FROM notification ORDER BY id)")[0],
              "3,4,6");
    EXPECT_EQ(stores->count("custom_region_fields"), 0);
    EXPECT_EQ(stores->count("geohash_notification"), 3);
}

TEST_F(DataUpdateTablesTest, DeletingFiveThousandPairsCompletes) {
    open();
    std::vector<std::vector<std::string>> pairs;
    {
        ZarnPTransaction transaction(db->database(), ZarnPDurability::Normal);
        int64_t tile = saveTile("t");
        for (int c = 0; c < 50; ++c) {
            int64_t campaign = saveCampaign({.campaignId = "campaign" + std::to_string(c)});
            for (int g = 0; g < 101; ++g) {
                std::string geofence = "geofence" + std::to_string(g);
                saveNotification({.geofenceId = geofence}, campaign, tile);
                if (g < 100)
                    pairs.push_back({"campaign" + std::to_string(c), geofence});
            }
        }
        transaction.commit();
    }
    ASSERT_EQ(pairs.size(), 5000u);
    {
        ZarnPTransaction transaction(db->database(), ZarnPDurability::Normal);
        stores->notification->deleteByCampaignIdsAndGeofenceIds(pairs);
        transaction.commit();
    }
    // One notification per campaign was not named.
    EXPECT_EQ(
        stores->column("SELECT COUNT(*)||' '||MIN(geofence_id)||' '||MAX(geofence_id) FROM notification")[0],
        "50 geofence100 geofence100");
    EXPECT_EQ(stores->count("geohash_notification"), 50);
    // The lookups the deletion runs are served by indexes.
    EXPECT_EQ(stores->count("pragma_index_list('notification') WHERE name='notification_geofence_id_idx'"),
              1);
    EXPECT_EQ(stores->count("pragma_index_list('campaign') WHERE name='campaign_server_id_idx'"), 1);
    EXPECT_EQ(stores->count("pragma_index_list('polygon') WHERE name='polygon_notification_internal_id_idx'"),
              1);
}

TEST(LoadedTileTest, DictionaryForm) {
    ZarnPLoadedTile tile("u1hx", 12);
    EXPECT_EQ(tile.asDictionary(), Value::parse(R"({"id":"u1hx","version":12})"));
    EXPECT_EQ(tile.asDictionary().size(), 2u);
    tile.setVersion(int64_t{1} << 40);
    EXPECT_EQ(tile.asDictionary()["version"].get<int64_t>(), int64_t{1} << 40);
}

// ---- Migrations ---------------------------------------------------------------------------

// The tables as a file of version 18 or 19 holds them: the notification table of an older
// shape, no trigger properties, no polygons.
void createVersion18(test::RawSqlite& raw, int version) {
    ASSERT_TRUE(raw.handle());
    ASSERT_TRUE(raw.exec(
        "CREATE TABLE version (v INTEGER NOT NULL);"
        "INSERT INTO version(v) VALUES (" +
        std::to_string(version) +
        ");"
        "CREATE TABLE campaign (id INTEGER NOT NULL PRIMARY KEY, server_id varchar(32) NOT NULL , message "
        "varchar(255), handler_type integer(1), data varchar(255), trigger_on_exit boolean, dwelling_minutes "
        "integer(5), experiment_id varchar(32), experiment_message_id integer(1), campaign_start_timestamp "
        "timestamp, "
        "campaign_end_timestamp timestamp, ignore_app_cooldown integer(1));"
        "CREATE TABLE timespan (campaignid integer(6) NOT NULL, startTimestamp integer(12), endTimestamp "
        "integer(12), FOREIGN KEY(campaignid) REFERENCES campaign(id) ON DELETE Cascade);"
        "CREATE TABLE segmentation_property (campaignid integer(6) NOT NULL, \"key\" varchar(255), value "
        "varchar(255), property_type integer(1), operator integer(1), interval integer(10), occurrences "
        "integer(5), "
        "FOREIGN KEY(campaignid) REFERENCES campaign(id) ON DELETE Cascade);"
        "CREATE TABLE notification (id INTEGER NOT NULL PRIMARY KEY, campaignid integer NOT NULL, "
        "geofence_id "
        "varchar, latitude real, longitude real, match_range integer);"
        "CREATE INDEX notification_id_idx ON notification (id);"
        "CREATE TABLE custom_region_fields (notificationid integer(8) NOT NULL, \"key\" varchar(255), value "
        "varchar(255), FOREIGN KEY(notificationid) REFERENCES notification(id) ON DELETE Cascade);"
        "CREATE TABLE geohash (id INTEGER NOT NULL PRIMARY KEY, version INTEGER NOT NULL, value VARCHAR NOT "
        "NULL);"
        "CREATE TABLE geohash_notification (geohashid integer(5) NOT NULL, notificationid integer(8) NOT "
        "NULL, "
        "PRIMARY KEY (geohashid, notificationid), FOREIGN KEY(geohashid) REFERENCES geohash(id) ON DELETE "
        "Cascade, FOREIGN KEY(notificationid) REFERENCES notification(id) ON DELETE Cascade);"
        "INSERT INTO campaign(id, server_id, message) VALUES (1, 'c1', 'kept');"
        "INSERT INTO timespan VALUES (1, 10, 20);"
        "INSERT INTO segmentation_property VALUES (1, 'age', '18', 3, 6, NULL, NULL);"
        "INSERT INTO notification(id, campaignid, geofence_id) VALUES (1, 1, 'old1'), (2, 1, 'old2');"
        "INSERT INTO custom_region_fields VALUES (1, 'stale', 'old'), (2, 'stale', 'old');"
        "INSERT INTO geohash VALUES (1, 5, 'u1');"
        "INSERT INTO geohash_notification VALUES (1, 1), (1, 2);"));
}

TEST_F(DataUpdateTablesTest, RebuildBelowVersion20DropsNotificationsAndTheirFields) {
    for (int version : {18, 19}) {
        SCOPED_TRACE(version);
        std::filesystem::remove(path);
        std::filesystem::remove(path + "-journal");
        {
            test::RawSqlite raw(path);
            createVersion18(raw, version);
        }
        db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        stores.reset();
        open();
        EXPECT_EQ(db->currentVersion(), 22);
        // Campaigns and their children stay; notifications, tiles, links and fields go.
        EXPECT_EQ(stores->column("SELECT server_id||' '||message FROM campaign"),
                  std::vector<std::string>{"c1 kept"});
        EXPECT_EQ(stores->count("timespan"), 1);
        EXPECT_EQ(stores->count("segmentation_property"), 1);
        EXPECT_EQ(stores->count("notification"), 0);
        EXPECT_EQ(stores->count("geohash"), 0);
        EXPECT_EQ(stores->count("geohash_notification"), 0);
        EXPECT_EQ(stores->count("custom_region_fields"), 0);
        EXPECT_EQ(stores->count("trigger_properties"), 0);
        EXPECT_EQ(stores->count("polygon"), 0);
        EXPECT_EQ(stores->count("pragma_table_info('notification') WHERE name='is_external_region'"), 1);
        EXPECT_TRUE(stores->geohashRead->getLoadedTiles().empty());

        // A new notification reuses id 1 and carries only its own fields.
        int64_t tile = saveTile("u1");
        int64_t id =
            saveNotification({.geofenceId = "new", .customRegionFields = {{"fresh", "yes"}}}, 1, tile);
        EXPECT_EQ(id, 1);
        EXPECT_EQ(stores->column("SELECT \"key\" FROM custom_region_fields WHERE notificationid=1"),
                  std::vector<std::string>{"fresh"});
        stores.reset();
    }
}

TEST_F(DataUpdateTablesTest, VersionBelow18RecreatesTheSegmentationRules) {
    {
        test::RawSqlite raw(path);
        ASSERT_TRUE(
            raw.exec("CREATE TABLE version (v INTEGER NOT NULL); INSERT INTO version(v) VALUES (17);"
                     "CREATE TABLE segmentation_property (campaignid integer, name varchar);"
                     "INSERT INTO segmentation_property VALUES (4, 'old shape');"));
    }
    open();
    // The rules of the old shape are dropped; every table of the data update is there.
    EXPECT_EQ(stores->count("segmentation_property"), 0);
    EXPECT_EQ(stores->count("pragma_table_info('segmentation_property') WHERE name='occurrences'"), 1);
    for (auto table : {"campaign", "timespan", "notification", "custom_region_fields", "trigger_properties",
                       "polygon", "geohash", "geohash_notification"})
        EXPECT_EQ(stores->count(table), 0) << table;
    int64_t campaign = saveCampaign({.campaignId = "c5", .segmentationProperties = {{.key = "k"}}});
    EXPECT_EQ(stores->column("SELECT campaignid||' '||\"key\" FROM segmentation_property"),
              std::vector<std::string>{std::to_string(campaign) + " k"});
}

TEST_F(DataUpdateTablesTest, CurrentFilesKeepEveryRowAndGainTheIndexes) {
    {
        // A file written at version 21, before the indexes existed.
        auto old = std::make_shared<ZarnPSqLiteDb>(21, path, zarn::platform::current().fileSystem);
        old->disableThreadCheck();
        test::DataUpdateStores oldStores(old);
        auto connection = old->database();
        ASSERT_TRUE(connection);
        for (auto index : {"notification_geofence_id_idx", "campaign_server_id_idx",
                           "polygon_notification_internal_id_idx"})
            ASSERT_TRUE(connection->executeUpdate(std::string("DROP INDEX ") + index));
        Buffer b;
        int64_t campaign =
            oldStores.campaign->save(*b.root(b.campaign({.campaignId = "c1", .timeSpans = {{1, 2}}})));
        Buffer t;
        int64_t tile = oldStores.geohash->save(*t.root(t.geohash("u1", 3)), nullptr);
        Buffer n;
        const auto* dto = n.root(n.notification({.geofenceId = "g1",
                                                 .customRegionFields = {{"k", "v"}},
                                                 .triggerProperties = {{"p", "q"}},
                                                 .circles = {{{1, 2, 3}}}}));
        int64_t id = oldStores.notification->save(*dto, campaign, tile);
        oldStores.polygon->saveCirclesIfPresent(id, *dto);
    }
    open();
    for (auto table : {"campaign", "timespan", "notification", "custom_region_fields", "trigger_properties",
                       "polygon", "geohash", "geohash_notification"})
        EXPECT_EQ(stores->count(table), 1) << table;
    EXPECT_EQ(stores->count("sqlite_master WHERE type='index' AND name IN ('notification_geofence_id_idx', "
                            "'campaign_server_id_idx', 'polygon_notification_internal_id_idx')"),
              3);
    EXPECT_EQ(stores->geohashRead->getLoadedTiles(), (std::vector<ZarnPLoadedTile>{{"u1", 3}}));
}

}  // namespace
}  // namespace zarn
