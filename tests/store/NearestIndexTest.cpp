// The nearest read through the spatial index gives exactly the whole statement's notifications,
// ties included; an index that cannot be trusted is not used, and is built again at opening.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <cstring>
#include <random>

#include "store/ZarnPSqLiteNotificationAreaDao.h"
#include "tests/store/CrashTestSupport.h"
#include "tests/store/NearestTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

using sim::DataUpdateNotification;

struct Place {
    float lat, lon;
};
// A city, both poles, both sides of the antimeridian.
constexpr Place kCentres[] = {
    {52.0f, 13.0f}, {89.97f, 10.0f}, {-89.9f, -120.0f}, {0.5f, 179.99f}, {0.5f, -179.99f}};

// `count` notifications of every kind around the centres, from metres to hundreds of km apart,
// many on one grid (ties), ranges up to 50 km; campaigns with rules, windows and spans. One in
// `placeless` of the kinds without a place keeps it off.
sim::DataUpdateDescription randomUpdate(std::mt19937& random, int count, int64_t nowMs, int placeless) {
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    sim::DataUpdateDescription d{.tiles = {{.value = "t"}}};
    for (int c = 0; c < 12; ++c)
        d.campaigns.push_back(
            {.campaignId = "c" + std::to_string(c),
             .message = "m",
             .campaignEndTimestamp = c % 5 == 2 ? std::optional<int64_t>(nowMs - 1000) : std::nullopt,
             .segmentationProperties =
                 c % 4 == 1 ? std::vector<sim::DataUpdateSegmentationRule>{{.key = "a"}, {.key = "b"}}
                            : std::vector<sim::DataUpdateSegmentationRule>{},
             .timeSpans = {
                 {.startTimestamp = nowMs - 9000, .endTimestamp = nowMs + (c % 6 == 3 ? -5000 : 5000)}}});
    std::normal_distribution<float> offset(0, 1);
    for (int i = 0; i < count; ++i) {
        Place c = kCentres[pick(5)];
        float spread = std::array{0.0005f, 0.01f, 0.3f, 3.0f}[pick(4)];
        Place at{std::clamp(c.lat + spread * offset(random), -90.0f, 90.0f), c.lon + spread * offset(random)};
        if (pick(3) == 0)
            at = {std::round(at.lat * 100) / 100, std::round(at.lon * 100) / 100};
        DataUpdateNotification n{.campaign = "c" + std::to_string(pick(12)),
                                 .geofenceId = "g" + std::to_string(i),
                                 .location = {{at.lat, at.lon}},
                                 .matchRange = std::array{50, 100, 300, 2000, 50000}[pick(5)]};
        int kind = pick(20);  // 0-2 polygon, 3-5 beacon, 6-7 external, 5, 7, 8 without a place
        if (kind < 3)
            n.circlesList = {{{at.lat, at.lon, 50}, {at.lat + 0.001f * pick(9), at.lon - 0.002f, 80}}};
        if (kind >= 3 && kind <= 5)
            n.beaconUuid = "E2C56DB5-DFFB-48D2-B060-D0F5A71096E0";
        if (kind == 6 || kind == 7)
            n.triggerProperties = {{"p", "v"}};
        if ((kind == 5 || kind == 7 || kind == 8) && pick(placeless) == 0)
            n.location.reset();
        d.tiles[0].notifications.push_back(n);
    }
    return d;
}

std::string shortIds(const std::optional<std::vector<ZarnPNotification>>& found) {
    std::string out;
    for (const auto& n : found.value_or(std::vector<ZarnPNotification>{})) out += n.getShortId() + " ";
    return out;
}

class NearestIndexTest : public ::testing::Test {
  protected:
    // The store on the file, opened again (the old connection closed first), or on a new file.
    test::NearestStore& open(bool fresh = false) {
        whole.reset();
        store.reset();
        if (fresh)
            std::filesystem::remove_all(env.path("Documents"));
        store = std::make_unique<test::NearestStore>(env.path("Documents/zarn.db"), env.time);
        whole = std::make_shared<ZarnPSqLiteNotificationReadDao>(store->db, store->cooldowns, store->clock,
                                                                 store->segmentation, store->validator);
        whole->setIndexUse(ZarnPSqLiteNotificationReadDao::IndexUse::Never);
        store->read->setIndexUse(ZarnPSqLiteNotificationReadDao::IndexUse::WheneverWhole);
        sqlite3_trace_v2(
            test::sqliteHandle(*store->db), SQLITE_TRACE_STMT,
            [](unsigned, void* self, void* stmt, void*) {
                const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(stmt));
                if (std::strncmp(sql, "SELECT * FROM", 13) == 0 && std::strstr(sql, ":area_south"))
                    ++*static_cast<int*>(self);
                return 0;
            },
            &indexedStatements);
        return *store;
    }
    void exec(const std::string& sql) { ASSERT_TRUE(store->db->database()->executeUpdate(sql)) << sql; }
    std::optional<std::string> disagreement() {
        return ZarnPSqLiteNotificationAreaDao::disagreement(*store->db->database());
    }

    // Both ways of reading agree at every place, for every kind and a few counts (each of
    // `counts`, else one drawn); returns how many reads went through the index.
    template <typename P>
    int compareAt(const std::vector<P>& places, std::mt19937& random, const std::vector<int>& counts = {}) {
        int indexed = 0;
        for (P p : places)
            for (size_t read = 0; read < 3 * std::max<size_t>(1, counts.size()); ++read) {
                int kind = static_cast<int>(read % 3);
                int count = counts.empty() ? std::array{200, 1, 2, 9, 60}[random() % 5] : counts[read / 3];
                bool offered = random() % 2;
                std::vector<std::string> include;
                if (random() % 4 == 0)
                    include = {"c1;g3", "c2;g" + std::to_string(random() % 50)};
                ZarnPLocationWithAccuracy here(p.lat, p.lon, 10);
                store->read->invalidate();
                whole->invalidate();
                int before = indexedStatements;
                auto fast = store->read->findNearestNotifications(here, count, offered, kind, include);
                indexed += indexedStatements > before;
                auto slow = whole->findNearestNotifications(here, count, offered, kind, include);
                EXPECT_TRUE(fast == slow) << "at " << p.lat << ", " << p.lon << " kind " << kind << " count "
                                          << count << ": " << shortIds(fast) << " against " << shortIds(slow);
            }
        return indexed;
    }

    test::TestEnvironment env;
    std::unique_ptr<test::NearestStore> store;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> whole;
    int indexedStatements = 0;
};

TEST_F(NearestIndexTest, IndexedReadsEqualTheWholeStatementOnRandomStoresAndAfterEveryWrite) {
    const int64_t nowMs = static_cast<int64_t>(test::TestEnvironment::kStart * 1000);
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 random(seed);
        open(true).save(randomUpdate(random, 900, nowMs, std::array{1, 20, 1000}[seed - 1]));
        std::vector<Place> places = {{90, 0}, {-90, 0}, {10, 180}, {10, -180}, {-40, 60}, {0, 0}};
        std::normal_distribution<float> offset(0, 1);
        for (int i = 0; i < 12; ++i) {
            Place c = kCentres[random() % 5];
            float spread = std::array{0.002f, 0.03f, 0.4f, 3.0f}[random() % 4];
            places.push_back({c.lat + spread * offset(random), c.lon + spread * offset(random)});
            places.push_back({std::round(c.lat * 100) / 100, std::round(c.lon * 100) / 100});
        }
        // Most of them through the index, not a silent fallback.
        EXPECT_GT(compareAt(places, random), static_cast<int>(places.size()));

        // Writes of every kind around the triggers: ranges and points changed, circles moved and
        // gone, rows that no box can hold, deletions, another save, offered rows.
        exec("UPDATE notification SET match_range_lat = match_range_lat * 40 WHERE id % 11 = 0");
        exec("UPDATE polygon SET latitude = latitude + 0.05 WHERE id % 2 = 0");
        exec("DELETE FROM polygon WHERE id % 3 = 0");
        exec("UPDATE notification SET latitude = 'north', is_external_region = NULL WHERE id % 37 = 0");
        exec("UPDATE notification SET longitude = NULL, match_range_long = -1 WHERE id % 41 = 0");
        exec("DELETE FROM notification WHERE id % 7 = 0");
        exec("UPDATE notification SET offered = 1 WHERE id % 5 = 0");
        store->save(randomUpdate(random, 300, nowMs, 1));
        EXPECT_EQ(disagreement(), std::nullopt);
        EXPECT_GT(compareAt(places, random), static_cast<int>(places.size()));
        exec("DELETE FROM notification");
        EXPECT_EQ(disagreement(), std::nullopt);
    }
}

// A device far off the earth (the read takes any finite place) finds no notification near the
// earth in its widest box, which then holds no more than the far point does. The stores hold
// notifications of every kind at odd places that still get a box (past the poles, past the
// antimeridian, at the edge of the boxed range, wide ranges, polygons) and some just past it.
TEST_F(NearestIndexTest, DevicePlacesFarOffTheEarthReadWhatTheWholeStatementReads) {
    const int64_t nowMs = static_cast<int64_t>(test::TestEnvironment::kStart * 1000);
    const Place odd[] = {{500, 13.4f}, {52.5f, 373.4f}, {-9999.5f, 9999.5f}, {10000, -10000}, {10001, 0}};
    struct Far {
        double lat, lon;
    };
    const std::vector<Far> places = {{1e6, 1e6},  {-1e7, 5},   {0, 1e7},        {20000, 0},  {-10015, 10015},
                                     {10012, -3}, {-3e5, 180}, {1e300, -1e300}, {500, 13.4}, {52.5, 373.4}};
    for (auto [seed, count, placeless] : {std::array{21, 300, 1}, {22, 1200, 20}, {23, 600, 1000}}) {
        std::mt19937 random(static_cast<unsigned>(seed));
        sim::DataUpdateDescription d = randomUpdate(random, count, nowMs, placeless);
        for (int i = 0; i < 4 * static_cast<int>(std::size(odd)); ++i) {
            Place at = odd[i / 4];  // a geofence, a beacon, an external region, a wide polygon
            d.tiles[0].notifications.push_back({.campaign = "c" + std::to_string(i % 12),
                                                .geofenceId = "odd" + std::to_string(i),
                                                .location = {{at.lat, at.lon}},
                                                .matchRange = i % 4 == 3 ? 1000000 : 100});
            auto& n = d.tiles[0].notifications.back();
            if (i % 4 == 1)
                n.beaconUuid = "E2C56DB5-DFFB-48D2-B060-D0F5A71096E0";
            if (i % 4 == 2)
                n.triggerProperties = {{"p", "v"}};
            if (i % 4 == 3)
                n.circlesList = {{{at.lat, at.lon, 50}, {at.lat + 0.5f, at.lon - 0.5f, 80}}};
        }
        open(true).save(d);
        EXPECT_EQ(disagreement(), std::nullopt);
        compareAt(places, random, {1, 7, 60, 200});
    }
}

// The first box that holds enough notifications holds a far cluster in its corner, while a
// nearer one lies just past its side: the box grows until nothing outside it can rank higher.
TEST_F(NearestIndexTest, ANotificationJustPastTheFirstBoxStillRanksBeforeACornerFarther) {
    sim::DataUpdateDescription d{.campaigns = {{.campaignId = "c", .message = "m"}},
                                 .tiles = {{.value = "t"}}};
    for (int i = 0; i < 200; ++i)  // 40 in the corner, the rest far away
        d.tiles[0].notifications.push_back({.campaign = "c",
                                            .geofenceId = "corner" + std::to_string(i),
                                            .location = {{52.009f + i * 1e-5f + (i >= 40) * 9, 13.009f}},
                                            .matchRange = 100});
    d.tiles[0].notifications.push_back(
        {.campaign = "c", .geofenceId = "side", .location = {{52.0117f, 13.0f}}, .matchRange = 100});
    open(true).save(d);
    for (int count : {1, 5}) {
        ZarnPLocationWithAccuracy here(52.0, 13.0, 10);
        store->read->invalidate();
        whole->invalidate();
        auto fast = store->read->findNearestNotifications(here, count, false, 0, {});
        ASSERT_TRUE(fast && !fast->empty());
        EXPECT_EQ(fast->front().regionId(), std::optional<std::string>("side"));
        EXPECT_EQ(fast, whole->findNearestNotifications(here, count, false, 0, {}));
    }
    EXPECT_GE(indexedStatements, 2);
}

// A change of the schema (a trigger or the tree gone) is seen at the next read, and the index
// is built again at the next opening; entries lost to a write of the tree itself are found by the
// whole-file check, which builds it again.
TEST_F(NearestIndexTest, AnIndexThatCannotBeTrustedIsNotUsedAndIsBuiltAgain) {
    std::mt19937 random(9);
    open().save(randomUpdate(random, 600, 0, 1));
    const std::vector<Place> places = {{52.0f, 13.0f}, {89.97f, 10.0f}, {0.5f, 179.99f}};
    const char* damages[] = {
        "DROP TRIGGER notification_area_polygon_insert",  // writes no longer kept in step
        "DROP TRIGGER notification_area_notification_update",
        "DROP TABLE notification_area",
    };
    for (const char* damage : damages) {
        ASSERT_GT(compareAt(places, random), 0) << damage;
        exec(damage);
        EXPECT_NE(disagreement(), std::nullopt);
        EXPECT_EQ(compareAt(places, random), 0) << damage;
        open();
        EXPECT_EQ(disagreement(), std::nullopt) << damage;
    }
    exec("DELETE FROM notification_area WHERE id % 3 = 0");
    EXPECT_NE(disagreement(), std::nullopt);
    std::filesystem::remove(env.path("Documents/zarn.db-checked"));
    store->db->checkWholeFileIfDue(env.time->now());
    EXPECT_EQ(disagreement(), std::nullopt);
    EXPECT_GT(compareAt(places, random), 0);
}

// Where it wins, the read goes through the index, the 200 nearest of 3,000 as well as 5; once
// notifications without a box of their own are too many (written by another connection), it runs
// in full, and it comes back to the index when they have a place again.
TEST_F(NearestIndexTest, TheIndexIsUsedWhereItWinsAndTheJudgementFollowsEveryWrite) {
    sim::DataUpdateDescription d{.campaigns = {{.campaignId = "c", .message = "m"}},
                                 .tiles = {{.value = "t"}}};
    for (int i = 0; i < 3000; ++i)
        d.tiles[0].notifications.push_back(
            {.campaign = "c",
             .geofenceId = "g" + std::to_string(i),
             .location = {{52.0f + (i % 60) * 0.01f, 13.0f + (i / 60) * 0.01f}},
             .matchRange = 100});
    open(true).save(d);
    store->read->setIndexUse(ZarnPSqLiteNotificationReadDao::IndexUse::WhereItWins);
    auto indexed = [&](int count = 5) {
        store->read->invalidate();
        int before = indexedStatements;
        auto found = store->read->findNearestNotifications(ZarnPLocationWithAccuracy(52.1, 13.1, 10), count,
                                                           false, 0, {});
        EXPECT_TRUE(found && found->size() == static_cast<size_t>(count));
        return indexedStatements > before;
    };
    EXPECT_TRUE(indexed());
    EXPECT_TRUE(indexed());
    EXPECT_TRUE(indexed(200));
    test::RawSqlite other(env.path("Documents/zarn.db"));
    ASSERT_TRUE(other.exec("UPDATE notification SET latitude = NULL WHERE id % 4 = 0"));
    EXPECT_FALSE(indexed()) << "a quarter of the store is a candidate of every indexed read";
    EXPECT_FALSE(indexed());
    exec("UPDATE notification SET latitude = 52.3 WHERE latitude IS NULL");
    EXPECT_TRUE(indexed());
    EXPECT_EQ(disagreement(), std::nullopt);
}

// A polygon's circles each cost a few lookups: twice the circles, about twice the work. A box
// that outgrows the indexed size becomes a far point; the boxes agree with the rows throughout.
TEST_F(NearestIndexTest, APolygonSavesInWorkLinearInItsCircles) {
    auto polygon = [](int circles, float degreesApart) {
        sim::DataUpdateDescription d{.campaigns = {{.campaignId = "c", .message = "m"}},
                                     .tiles = {{.value = "t"}}};
        std::vector<sim::DataUpdateCircle> list;
        for (int i = 0; i < circles; ++i)
            list.push_back({52.0f + degreesApart * static_cast<float>(i) / static_cast<float>(circles),
                            13.0f + 0.5f * static_cast<float>(i % 7), 50});
        d.tiles[0].notifications.push_back({.campaign = "c",
                                            .geofenceId = "p",
                                            .location = {{52.0f, 13.0f}},
                                            .matchRange = 60,
                                            .circlesList = list});
        return d;
    };
    auto work = [&](int circles, float degreesApart) {
        test::KillPoint count;  // counts only: killAt stays 0
        open(true);
        sqlite3_progress_handler(test::sqliteHandle(*store->db), test::kInstructionsPerCallback,
                                 &test::KillPoint::onProgress, &count);
        store->save(polygon(circles, degreesApart));
        sqlite3_progress_handler(test::sqliteHandle(*store->db), 0, nullptr, nullptr);
        EXPECT_EQ(disagreement(), std::nullopt) << circles << " circles " << degreesApart << " degrees apart";
        return static_cast<double>(count.calls);
    };
    for (float apart : {0.02f, 12.0f}) {
        double small = work(1500, apart), large = work(6000, apart);
        EXPECT_LT(large / small, 6.0) << apart;  // quadratic work would be 16 times
    }
    // The far point keeps the polygon a candidate of every read.
    ZarnPLocationWithAccuracy here(58.0, 13.0, 10);
    EXPECT_EQ(store->read->findNearestNotifications(here, 1, false, 0, {}),
              whole->findNearestNotifications(here, 1, false, 0, {}));
}

}  // namespace
}  // namespace zarn
