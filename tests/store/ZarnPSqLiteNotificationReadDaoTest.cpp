// The nearest-notification reads: order, kinds, every filter, assembly, included ids and the
// cache, on stores written from data updates, with the device at chosen places and times.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "core/Format.h"
#include "core/ZarnPConstants.h"
#include "tests/store/StoreTestSupport.h"

#include "tests/store/NearestTestSupport.h"
#include "tests/support/TestEnvironment.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

using sim::DataUpdateCampaign;
using sim::DataUpdateDescription;
using sim::DataUpdateNotification;
using sim::DataUpdateOpeningHours;

// 2026-11-30 00:00:00 local time is a Monday; the local zone is UTC+1.
constexpr double kMondayLocalMidnightUtc = 1795993200.0;
constexpr long kZoneOffset = 3600;

DataUpdateNotification fence(std::string campaign, std::string id, float lat, float lon,
                             int32_t range = 100) {
    return {.campaign = std::move(campaign),
            .geofenceId = std::move(id),
            .location = {{lat, lon}},
            .matchRange = range};
}

std::vector<std::string> shortIds(const std::vector<ZarnPNotification>& list) {
    std::vector<std::string> out;
    for (const auto& n : list) out.push_back(n.getShortId());
    return out;
}

class NearestReadTest : public ::testing::Test {
  protected:
    // A fresh store whose clock stands at `localSecondsSinceMonday` past Monday 00:00 local.
    test::NearestStore& store(double localSecondsSinceMonday = 12 * 3600.0) {
        auto time = std::make_shared<platform::VirtualTimeSource>(
            dateWithTimeIntervalSince1970(kMondayLocalMidnightUtc + localSecondsSinceMonday), kZoneOffset);
        stores.push_back(std::make_unique<test::NearestStore>(
            env.path("db" + std::to_string(stores.size()) + "/zarn.db"), time));
        return *stores.back();
    }

    test::TestEnvironment env;
    std::vector<std::unique_ptr<test::NearestStore>> stores;
    ZarnPLocationWithAccuracy here{52.0, 13.0, 10};
};

TEST_F(NearestReadTest, EachKindReturnsItsOwnRowsInsideFirstThenNearest) {
    auto& s = store();
    DataUpdateDescription d{.campaigns = {{.campaignId = "a", .message = "hello"}}};
    d.tiles.push_back({.value = "u33",
                       .notifications = {
                           fence("a", "far", 52.05f, 13.0f),
                           fence("a", "near", 52.002f, 13.0f),
                           // Wide enough to hold the device though its centre is further than "near".
                           fence("a", "wide", 52.004f, 13.0f, 1000),
                           fence("a", "mid", 52.01f, 13.0f),
                           {.campaign = "a",
                            .geofenceId = "beacon",
                            .beaconUuid = "0123456789abcdef0123456789ABCDEF",
                            .beaconMajorId = 7},
                           {.campaign = "a",
                            .geofenceId = "ext",
                            .label = "shop",
                            .triggerProperties = {{"kind", "store"}}},
                       }});
    s.save(d);

    EXPECT_EQ(shortIds(s.read->findNearestGeofenceNotifications(here, false, {})),
              (std::vector<std::string>{"a;wide", "a;near", "a;mid", "a;far"}));
    auto beacons = s.read->findNearestBeaconNotifications(here, false, {});
    ASSERT_EQ(shortIds(beacons), std::vector<std::string>{"a;beacon"});
    EXPECT_EQ(beacons[0].majorId(), 7);
    EXPECT_EQ(beacons[0].minorId(), std::nullopt);
    EXPECT_TRUE(beacons[0].beaconUuid());
    EXPECT_FALSE(beacons[0].location());
    auto external = s.read->findNearestExternalNotifications(here, false, {});
    ASSERT_EQ(shortIds(external), std::vector<std::string>{"a;ext"});
    EXPECT_EQ(external[0].regionLabel(), "shop");
    EXPECT_EQ(external[0].message(), "hello");
    EXPECT_EQ(s.read->findNearestNotifications(here, 200, false, 3, {}), std::nullopt);
    // A row count of 2 keeps the two nearest.
    s.read->invalidate();
    EXPECT_EQ(shortIds(s.read->findNearestGeofenceNotifications(here, 2, false, {})),
              (std::vector<std::string>{"a;wide", "a;near"}));
}

struct FilterCase {
    const char* label;
    double localSecondsSinceMonday;
    DataUpdateCampaign campaign;
    std::optional<DataUpdateOpeningHours> hours;
    std::map<std::string, std::string> userValues;
    bool offered;
    bool kept;
};

TEST_F(NearestReadTest, FiltersKeepOrDropTheCampaignsNotifications) {
    constexpr double kMon = 12 * 3600.0, kTue = kMon + 86400;
    // Local Monday 12:00 in milliseconds since 1970 on the local scale.
    const int64_t nowMs = static_cast<int64_t>((kMondayLocalMidnightUtc + kZoneOffset + kMon) * 1000);
    const auto monday = DataUpdateOpeningHours{.monday = DataUpdateOpeningHours::pack(9, 0, 17, 30)};
    using Rule = sim::DataUpdateSegmentationRule;
    const FilterCase cases[] = {
        {"plain", kMon, {}, std::nullopt, {}, false, true},
        {"offered", kMon, {}, std::nullopt, {}, true, false},
        {"window holds now",
         kMon,
         {.campaignStartTimestamp = nowMs - 1000, .campaignEndTimestamp = nowMs},
         std::nullopt,
         {},
         false,
         true},
        {"window ended", kMon, {.campaignEndTimestamp = nowMs - 1000}, std::nullopt, {}, false, false},
        {"window not begun", kMon, {.campaignStartTimestamp = nowMs + 1000}, std::nullopt, {}, false, false},
        {"span starts now", kMon, {.timeSpans = {{nowMs, nowMs + 5}}}, std::nullopt, {}, false, true},
        {"span over", kMon, {.timeSpans = {{nowMs - 10, nowMs - 1}}}, std::nullopt, {}, false, false},
        {"second span holds",
         kMon,
         {.timeSpans = {{0, 5}, {nowMs - 10, nowMs + 10}}},
         std::nullopt,
         {},
         false,
         true},
        {"open end", kMon, {.timeSpans = {{nowMs - 10, std::nullopt}}}, std::nullopt, {}, false, true},
        {"open start", kMon, {.timeSpans = {{std::nullopt, nowMs + 1}}}, std::nullopt, {}, false, true},
        {"open start, over",
         kMon,
         {.timeSpans = {{std::nullopt, nowMs - 1}}},
         std::nullopt,
         {},
         false,
         false},
        {"hours skip spans", kMon, {.timeSpans = {{0, 5}}}, monday, {}, false, true},
        {"monday 09:00", 9 * 3600, {}, monday, {}, false, true},
        {"monday 17:30", 17.5 * 3600 + 59, {}, monday, {}, false, true},
        {"monday 17:31", 17.5 * 3600 + 60, {}, monday, {}, false, false},
        {"monday 08:59", 9 * 3600 - 1, {}, monday, {}, false, false},
        {"tuesday", kTue, {}, monday, {}, false, false},
        {"across midnight",
         23 * 3600,
         {},
         DataUpdateOpeningHours{.monday = DataUpdateOpeningHours::pack(22, 0, 2, 0)},
         {},
         false,
         false},
        {"segmentation met",
         kMon,
         {.segmentationProperties = {Rule{"age", "18", 3, 6}}},
         std::nullopt,
         {{"i_age", "18"}},
         false,
         true},
        {"segmentation unset",
         kMon,
         {.segmentationProperties = {Rule{"age", "18", 3, 6}}},
         std::nullopt,
         {},
         false,
         false},
        {"segmentation unknown type",
         kMon,
         {.segmentationProperties = {Rule{"age", "18", 0, 1}}},
         std::nullopt,
         {{"i_age", "18"}},
         false,
         false},
        {"null value not equal",
         kMon,
         {.segmentationProperties = {Rule{"tier", std::nullopt, 2, 2}}},
         std::nullopt,
         {{"s_tier", "gold"}},
         false,
         true},
        {"history none yet",
         kMon,
         {.segmentationProperties = {Rule{"promo", "promo", 1, 7, 3600, 1}}},
         std::nullopt,
         {},
         false,
         true},
    };
    for (const auto& c : cases) {
        auto& s = store(c.localSecondsSinceMonday);
        DataUpdateCampaign campaign = c.campaign;
        campaign.campaignId = "c";
        DataUpdateCampaign other{.campaignId = "other"};
        auto mine = fence("c", "r", 52.0f, 13.0f);
        mine.openingHours = c.hours;
        s.save({.campaigns = {campaign, other},
                .tiles = {{.value = "u", .notifications = {mine, fence("other", "o", 52.1f, 13.0f)}}}});
        for (const auto& [key, value] : c.userValues) s.segmentation->setSegmentationValue(value, key, false);
        if (c.offered)
            s.db->database()->executeUpdate("UPDATE notification SET offered = 1");
        auto found = shortIds(s.read->findNearestGeofenceNotifications(here, false, {}));
        auto expected =
            c.kept ? std::vector<std::string>{"c;r", "other;o"} : std::vector<std::string>{"other;o"};
        if (c.offered)
            expected = {};
        EXPECT_EQ(found, expected) << c.label;
        if (c.offered) {
            s.read->invalidate();
            EXPECT_EQ(shortIds(s.read->findNearestGeofenceNotifications(here, true, {})).size(), 2u)
                << c.label;
        }
    }
}

TEST_F(NearestReadTest, RowsBecomeOneNotificationEachWithItsChildren) {
    auto& s = store();
    DataUpdateDescription d{
        .campaigns = {{.campaignId = "a",
                       .data = "{}",
                       .handlerType = 2,
                       .triggerOnExit = true,
                       .dwellingMinutes = 5,
                       .experimentId = "x",
                       .experimentMessageId = 3,
                       .segmentationProperties =
                           {{"v", "1", 3, 1}, {"w", "1", 3, 1}, {"y", "1", 3, 1}, {"z", "1", 3, 1}}},
                      {.campaignId = "b", .ignoreAppCooldown = true}},
        .cooldownGroups = {{EMPTY_UUID, 60}, {"a", 30}, {"b;p", 10}, {"unused", 1}}};
    std::vector<sim::DataUpdateCircle> circles = {
        {52.01f, 13.0f, 50}, {52.0f, 13.0f, 80}, {52.02f, 13.0f, 50}};
    DataUpdateNotification polygon = fence("a", "poly", 52.01f, 13.0f, 500);
    polygon.circlesList = circles;
    polygon.customRegionFields = {{"a", std::nullopt}, {"b", "x"}};
    // Trigger properties make a notification an external region.
    DataUpdateNotification external{.campaign = "a", .geofenceId = "ext"};
    external.customRegionFields = {{"k", "v"}};
    external.triggerProperties = {{"a", std::nullopt}, {"b", "x"}};
    d.tiles.push_back({.value = "u", .notifications = {polygon, fence("b", "p", 52.03f, 13.0f), external}});
    s.save(d);
    for (const char* key : {"i_v", "i_w", "i_y", "i_z"})
        s.segmentation->setSegmentationValue("1", key, false);

    auto found = s.read->findNearestGeofenceNotifications(here, false, {});
    ASSERT_EQ(shortIds(found), (std::vector<std::string>{"a;poly", "b;p"}));
    const auto& n = found[0];
    EXPECT_TRUE(n.isPolygon());
    EXPECT_NEAR(n.location()->latitude(), 52.0, 1e-5);
    EXPECT_EQ(n.matchRange(), 80);
    EXPECT_EQ(n.notificationHandlerType(), 2u);
    EXPECT_TRUE(n.triggerOnExit());
    EXPECT_EQ(n.dwellingMinutes(), 5);
    EXPECT_EQ(n.experimentId(), "x");
    EXPECT_EQ(n.experimentMessageNumber(), 3);
    EXPECT_EQ(n.data(), "{}");
    EXPECT_EQ(n.segmentationIds(), std::vector<std::string>{"a"});
    EXPECT_EQ(n.customRegionFields(), (ZarnPNotification::StringDictionary{{"b", "x"}}));
    EXPECT_TRUE(n.triggerProperties().empty());
    auto externals = s.read->findNearestExternalNotifications(here, false, {});
    ASSERT_EQ(shortIds(externals), std::vector<std::string>{"a;ext"});
    EXPECT_EQ(externals[0].triggerProperties(),
              (ZarnPNotification::TriggerProperties{{"a", std::nullopt}, {"b", "x"}}));
    EXPECT_EQ(externals[0].customRegionFields(), (ZarnPNotification::StringDictionary{{"k", "v"}}));
    EXPECT_FALSE(externals[0].location());
    EXPECT_EQ(n.cooldownGroups(), (std::vector<ZarnPCooldownGroup>{{EMPTY_UUID, 60}, {"a", 30}}));
    EXPECT_EQ(found[1].cooldownGroups(), (std::vector<ZarnPCooldownGroup>{{"b;p", 10}}));
    EXPECT_FALSE(found[1].isPolygon());

    // 60 circles times 4 rules fill the 200 rows: the polygon is all there is.
    auto& t = store();
    DataUpdateNotification big = fence("a", "big", 52.0f, 13.0f);
    big.circlesList = std::vector<sim::DataUpdateCircle>(60, {52.0f, 13.0f, 10});
    t.save({.campaigns = {{.campaignId = "a",
                           .segmentationProperties =
                               {{"v", "1", 3, 1}, {"w", "1", 3, 1}, {"y", "1", 3, 1}, {"z", "1", 3, 1}}}},
            .tiles = {{.value = "v", .notifications = {big, fence("a", "next", 52.0001f, 13.0f)}}}});
    for (const char* key : {"i_v", "i_w", "i_y", "i_z"})
        t.segmentation->setSegmentationValue("1", key, false);
    EXPECT_EQ(shortIds(t.read->findNearestGeofenceNotifications(here, false, {})),
              std::vector<std::string>{"a;big"});
}

TEST_F(NearestReadTest, RulesCutOffByTheRowLimitStillRefuseTheirCampaign) {
    auto& s = store();
    s.save(
        {.campaigns = {{.campaignId = "a",
                        .segmentationProperties = {{"k1", "1", 3, 1}, {"k2", "1", 3, 1}, {"k3", "1", 3, 1}}}},
         .tiles = {{.value = "u", .notifications = {fence("a", "r", 52.0f, 13.0f)}}}});
    s.segmentation->setSegmentationValue("1", "i_k1", false);
    s.segmentation->setSegmentationValue("1", "i_k2", false);
    s.segmentation->setSegmentationValue("1", "i_k3", false);
    EXPECT_EQ(shortIds(s.read->findNearestGeofenceNotifications(here, 1, false, {})),
              std::vector<std::string>{"a;r"});
    // Whichever rule the one row carries, the others are read too.
    for (const char* key : {"i_k1", "i_k2", "i_k3"}) {
        s.segmentation->setSegmentationValue("2", key, false);
        s.read->invalidate();
        EXPECT_TRUE(s.read->findNearestGeofenceNotifications(here, 1, false, {}).empty()) << key;
        s.segmentation->setSegmentationValue("1", key, false);
    }
}

TEST_F(NearestReadTest, IncludedIdsFollowTheNearestOnesWhateverTheirState) {
    auto& s = store();
    const int64_t past = 1000;
    s.save({.campaigns = {{.campaignId = "a"}, {.campaignId = "old", .campaignEndTimestamp = past}},
            .tiles = {{.value = "u",
                       .notifications = {fence("a", "near", 52.0f, 13.0f),
                                         fence("a", "offered", 52.0f, 13.0f),
                                         fence("old", "gone", 52.0f, 13.0f),
                                         fence("a", "far", 60.0f, 13.0f),
                                         {.campaign = "a",
                                          .geofenceId = "b",
                                          .beaconUuid = "0123456789abcdef0123456789abcdef"}}}}});
    s.db->database()->executeUpdate("UPDATE notification SET offered = 1 WHERE geofence_id = 'offered'");
    auto found = s.read->findNearestGeofenceNotifications(
        ZarnPLocationWithAccuracy(52.0, 13.0, 10), 1, false,
        {"a;offered", "old;gone", "a;b", "a;near", "noregion", "a';DROP TABLE notification;--;x", "a;far"});
    auto ids = shortIds(found);
    ASSERT_EQ(ids.size(), 5u);
    EXPECT_EQ(ids[0], "a;near");
    // The included rows come in the store's order; an included id among the nearest comes once.
    std::sort(ids.begin() + 1, ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"a;near", "a;b", "a;far", "a;offered", "old;gone"}));
    EXPECT_EQ(s.tables.count("notification"), 5);

    // The same ids by themselves; the nearest one alone; offered flags set by row id.
    auto byIds = shortIds(s.read->findByIds({"a;far", "old;gone", "noregion"}));
    std::sort(byIds.begin(), byIds.end());
    EXPECT_EQ(byIds, (std::vector<std::string>{"a;far", "old;gone"}));
    EXPECT_EQ(s.read->findNearestLocation(here, false)->getShortId(), "a;near");
    EXPECT_EQ(s.read->setOffered(s.read->findByIds({"a;near"}), true), std::nullopt);
    EXPECT_EQ(s.read->findNearestLocation(ZarnPLocationWithAccuracy(60.0, 13.0, 10), false)->getShortId(),
              "a;far");
    EXPECT_EQ(s.read->findNearestLocation(here, true)->regionId(), "near");
    EXPECT_EQ(s.read->setOffered(s.read->findByIds({"a;near", "a;offered", "a;far"}), true), std::nullopt);
    EXPECT_FALSE(s.read->findNearestLocation(here, false));
}

TEST_F(NearestReadTest, TheCacheServesTenSecondsOfGoodFixesAndForgetsOnInvalidate) {
    auto& s = store();
    s.save({.campaigns = {{.campaignId = "a"}},
            .tiles = {{.value = "u", .notifications = {fence("a", "r", 52.0f, 13.0f)}}}});
    auto first = s.read->findNearestGeofenceNotifications(here, false, {});
    ASSERT_EQ(first.size(), 1u);
    s.db->database()->executeUpdate("DELETE FROM notification");
    s.time->advanceBy(5);
    // 5 km away and a different question, within 10 s: the same list.
    EXPECT_EQ(s.read->findNearestGeofenceNotifications(ZarnPLocationWithAccuracy(52.05, 13.0, 10), 1, true,
                                                       {"x;y"}),
              first);
    EXPECT_TRUE(s.read->findNearestBeaconNotifications(here, false, {}).empty());
    s.time->advanceBy(5.5);
    EXPECT_TRUE(s.read->findNearestGeofenceNotifications(here, false, {}).empty());

    struct CacheCase {
        double accuracy;
        bool reused;
    };
    for (auto c : {CacheCase{250, false}, CacheCase{200, true}, CacheCase{std::nan(""), false}}) {
        auto& t = store();
        t.save({.campaigns = {{.campaignId = "a"}},
                .tiles = {{.value = "u", .notifications = {fence("a", "r", 52.0f, 13.0f)}}}});
        t.read->findNearestGeofenceNotifications(ZarnPLocationWithAccuracy(52.0, 13.0, c.accuracy), false,
                                                 {});
        t.db->database()->executeUpdate("DELETE FROM notification");
        EXPECT_EQ(t.read->findNearestGeofenceNotifications(here, false, {}).size(), c.reused ? 1u : 0u)
            << c.accuracy;
        // An empty answer is never reused.
        t.save({.campaigns = {{.campaignId = "b"}},
                .tiles = {{.value = "v", .notifications = {fence("b", "r", 52.0f, 13.0f)}}}});
        if (!c.reused) {
            EXPECT_EQ(t.read->findNearestGeofenceNotifications(here, false, {}).size(), 1u);
        }
        t.db->database()->executeUpdate("DELETE FROM notification");
        t.read->invalidate();
        EXPECT_TRUE(t.read->findNearestGeofenceNotifications(here, false, {}).empty());
    }
}

// The store's answer is the bare statement's rows, one per notification in row order, on random
// sets of points, polygons, ranges, kinds, offered flags and campaign windows.
TEST_F(NearestReadTest, RowsMatchTheBareStatementOnRandomSets) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 6; ++round) {
        auto& s = store();
        std::uniform_real_distribution<float> offset(-0.02f, 0.02f);
        std::uniform_int_distribution<int> pick(0, 9);
        DataUpdateDescription d;
        for (int c = 0; c < 8; ++c) {
            DataUpdateCampaign campaign{.campaignId = "c" + std::to_string(c)};
            if (pick(random) == 0)
                campaign.campaignEndTimestamp = 1000;
            d.campaigns.push_back(campaign);
        }
        sim::DataUpdateTile tile{.value = "u"};
        for (int i = 0; i < 300; ++i) {
            auto n = fence("c" + std::to_string(i % 8), "r" + std::to_string(i), 52.0f + offset(random),
                           13.0f + offset(random), 50 + pick(random) * 100);
            int kind = pick(random);
            if (kind == 0)
                n = {.campaign = n.campaign,
                     .geofenceId = n.geofenceId,
                     .beaconUuid = "0123456789abcdef0123456789abcdef"};
            if (kind == 1) {
                n.circlesList = std::vector<sim::DataUpdateCircle>{};
                for (int k = 0; k < 1 + pick(random); ++k)
                    n.circlesList->push_back({52.0f + offset(random), 13.0f + offset(random), 40.0f});
            }
            tile.notifications.push_back(n);
        }
        d.tiles.push_back(tile);
        s.save(d);
        s.db->database()->executeUpdate("UPDATE notification SET offered = 1 WHERE id % 7 = 0");
        bool includeOffered = round % 2;
        int count = 50 + 60 * round;
        for (int kind = 0; kind < 2; ++kind) {
            auto found =
                s.read->findNearestNotifications(here, count, includeOffered, kind, {"c1;r9", "c2;r10"});
            // The same statement with the same values, straight through sqlite3.
            auto localMs = s.clock->nowWithTimeZoneOffsetMilliseconds();
            test::RawSqlite raw(s.db->database()->databasePath().value());
            sqlite3_stmt* stmt = nullptr;
            auto sql = ZarnPSqLiteNotificationReadDao::nearestQuery(kind, "opening_hours_mon", 2);
            ASSERT_EQ(sqlite3_prepare_v2(raw.handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
            auto bind = [&](const char* name, auto bindFn) {
                bindFn(sqlite3_bind_parameter_index(stmt, name));
            };
            bind(":lat", [&](int i) { sqlite3_bind_double(stmt, i, 52.0); });
            bind(":long", [&](int i) { sqlite3_bind_double(stmt, i, 13.0); });
            bind(":includeOffered", [&](int i) { sqlite3_bind_int(stmt, i, includeOffered); });
            bind(":timestamp", [&](int i) { sqlite3_bind_int64(stmt, i, localMs / 1000); });
            bind(":limit", [&](int i) { sqlite3_bind_int(stmt, i, count); });
            bind(":inc_c0", [&](int i) { sqlite3_bind_text(stmt, i, "c1", -1, SQLITE_STATIC); });
            bind(":inc_r0", [&](int i) { sqlite3_bind_text(stmt, i, "r9", -1, SQLITE_STATIC); });
            bind(":inc_c1", [&](int i) { sqlite3_bind_text(stmt, i, "c2", -1, SQLITE_STATIC); });
            bind(":inc_r1", [&](int i) { sqlite3_bind_text(stmt, i, "r10", -1, SQLITE_STATIC); });
            std::vector<std::string> expected;
            std::set<int64_t> seen;
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                if (!seen.insert(sqlite3_column_int64(stmt, 15)).second)
                    continue;
                expected.push_back(zarn::format(
                    "%@;%@ %.5f %.5f %@", reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                    reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)),
                    sqlite3_column_double(stmt, 4), sqlite3_column_double(stmt, 5),
                    sqlite3_column_int(stmt, 11)));
            }
            sqlite3_finalize(stmt);
            std::vector<std::string> actual;
            for (const auto& n : *found)
                actual.push_back(zarn::format(
                    "%@ %.5f %.5f %@", n.getShortId(), n.location() ? n.location()->latitude() : 0.0,
                    n.location() ? n.location()->longitude() : 0.0, n.matchRange()));
            EXPECT_EQ(actual, expected) << "round " << round << " kind " << kind;
            EXPECT_FALSE(expected.empty());
        }
    }
}

}  // namespace
}  // namespace zarn
