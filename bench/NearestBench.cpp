// The nearest-geofence read at 1,000 to 100,000 stored notifications: through the read store (a
// fresh read every time, the clock moved past the cache between questions) and the same statement
// through a bare sqlite3 loop on the same file, reported side by side with their ratio. The store
// reads three ways: as it is (through the spatial index where a box around the device holds few
// of the stored notifications), always through the index, and always through the whole
// statement, the reference of the index's ratio; CPU time of the reading thread. The store
// against its full statement is taken in alternating sections, and printed once per size.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <utility>

#include "bench/BenchSupport.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSegmentationPropertyValidator.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteNotificationAreaDao.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/dataupdate/ZarnPSqLiteCampaignDao.h"
#include "store/dataupdate/ZarnPSqLiteCooldownGroupDao.h"
#include "store/dataupdate/ZarnPSqLiteCustomRegionFieldsDao.h"
#include "store/dataupdate/ZarnPSqLiteGeohashDao.h"
#include "store/dataupdate/ZarnPSqLiteGeohashNotificationDao.h"
#include "store/dataupdate/ZarnPSqLiteNotificationWriteDao.h"
#include "store/dataupdate/ZarnPSqLitePolygonDao.h"
#include "store/dataupdate/ZarnPSqLiteSegmentationPropertiesDao.h"
#include "store/dataupdate/ZarnPSqLiteTimeSpanDao.h"
#include "store/dataupdate/ZarnPSqLiteTriggerPropertiesDao.h"
#include "zarn/platform/Platform.h"

namespace {

using namespace zarn;

constexpr double kLat = 52.0, kLon = 13.0;

// One folder for the whole run.
std::string freshPath(const std::string& name) {
    static const std::string dir = bench::benchDirectory("zarn-nearest-bench");
    return bench::freshPath(dir, name);
}

// Every table the read joins, created by its own store, then filled through a bare connection:
// 100 campaigns, `count` geofences within about 25 km, one in ten a polygon of three circles.
struct Fixture {
    explicit Fixture(int count) {
        path = freshPath("nearest-" + std::to_string(count) + ".db");
        db = std::make_shared<ZarnPSqLiteDb>(22, path, platform::current().fileSystem);
        db->disableThreadCheck();
        auto geohashNotification = std::make_shared<ZarnPSqLiteGeohashNotificationDao>(db);
        auto fields = std::make_shared<ZarnPSqLiteCustomRegionFieldsDao>(db);
        auto triggers = std::make_shared<ZarnPSqLiteTriggerPropertiesDao>(db);
        auto properties = std::make_shared<ZarnPSqLiteSegmentationPropertiesDao>(db);
        auto spans = std::make_shared<ZarnPSqLiteTimeSpanDao>(db);
        keep = {geohashNotification,
                fields,
                triggers,
                properties,
                spans,
                std::make_shared<ZarnPSqLiteGeohashDao>(db, nullptr),
                std::make_shared<ZarnPSqLiteNotificationWriteDao>(db, geohashNotification, fields, triggers),
                std::make_shared<ZarnPSqLiteCampaignDao>(db, properties, spans),
                std::make_shared<ZarnPSqLitePolygonDao>(db),
                std::make_shared<ZarnPSqLiteCooldownGroupDao>(db),
                std::make_shared<ZarnPSqLiteNotificationAreaDao>(db)};
        auto cooldowns = std::make_shared<ZarnPSqLiteCooldownDao>(db);
        auto segmentation = std::make_shared<ZarnPSqLiteSegmentationDao>(db);
        auto history = std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db);
        keep.push_back(cooldowns);
        keep.push_back(history);
        auto validator = std::make_shared<ZarnPSegmentationPropertyValidator>(clock, history);
        read =
            std::make_shared<ZarnPSqLiteNotificationReadDao>(db, cooldowns, clock, segmentation, validator);
        indexedRead =
            std::make_shared<ZarnPSqLiteNotificationReadDao>(db, cooldowns, clock, segmentation, validator);
        indexedRead->setIndexUse(ZarnPSqLiteNotificationReadDao::IndexUse::WheneverWhole);
        wholeRead =
            std::make_shared<ZarnPSqLiteNotificationReadDao>(db, cooldowns, clock, segmentation, validator);
        wholeRead->setIndexUse(ZarnPSqLiteNotificationReadDao::IndexUse::Never);
        db->database();

        sqlite3_open(path.c_str(), &bare);
        // The read store sets the same on its connection.
        sqlite3_exec(bare, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
        sqlite3_exec(bare, "BEGIN", nullptr, nullptr, nullptr);
        for (int c = 1; c <= 100; ++c) {
            auto sql =
                "INSERT INTO campaign (id, server_id, message, handler_type, trigger_on_exit, "
                "dwelling_minutes, "
                "ignore_app_cooldown) VALUES (" +
                std::to_string(c) + ", 'campaign" + std::to_string(c) + "', 'message', 0, 0, 0, 0)";
            sqlite3_exec(bare, sql.c_str(), nullptr, nullptr, nullptr);
        }
        std::mt19937 random(7);
        std::uniform_real_distribution<double> offset(-0.2, 0.2);
        sqlite3_stmt* n = nullptr;
        sqlite3_prepare_v2(
            bare,
            "INSERT INTO notification (id, campaignid, geofence_id, latitude, longitude, match_range, "
            "match_range_lat, match_range_long, offered, is_polygon, is_external_region) VALUES (?, ?, "
            "?, ?, ?, 100, 0.0009, 0.0015, 0, ?, 0)",
            -1, &n, nullptr);
        sqlite3_stmt* p = nullptr;
        sqlite3_prepare_v2(
            bare,
            "INSERT INTO polygon (notification_internal_id, latitude, longitude, match_range) VALUES (?, "
            "?, ?, 60)",
            -1, &p, nullptr);
        for (int i = 1; i <= count; ++i) {
            double lat = kLat + offset(random), lon = kLon + offset(random);
            bool polygon = i % 10 == 0;
            sqlite3_bind_int(n, 1, i);
            sqlite3_bind_int(n, 2, 1 + i % 100);
            auto id = "fence" + std::to_string(i);
            sqlite3_bind_text(n, 3, id.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(n, 4, lat);
            sqlite3_bind_double(n, 5, lon);
            sqlite3_bind_int(n, 6, polygon);
            sqlite3_step(n);
            sqlite3_reset(n);
            for (int k = 0; polygon && k < 3; ++k) {
                sqlite3_bind_int(p, 1, i);
                sqlite3_bind_double(p, 2, lat + 0.001 * k);
                sqlite3_bind_double(p, 3, lon);
                sqlite3_step(p);
                sqlite3_reset(p);
            }
        }
        sqlite3_finalize(n);
        sqlite3_finalize(p);
        sqlite3_exec(bare, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_exec(bare, "ANALYZE", nullptr, nullptr, nullptr);
        sql = ZarnPSqLiteNotificationReadDao::nearestQuery(0, "opening_hours_mon", 0);
    }
    ~Fixture() { sqlite3_close(bare); }

    // The statement with the store's values, every column of every row read.
    size_t runBare() {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(bare, sql.c_str(), -1, &stmt, nullptr);
        sqlite3_bind_double(stmt, sqlite3_bind_parameter_index(stmt, ":lat"), kLat);
        sqlite3_bind_double(stmt, sqlite3_bind_parameter_index(stmt, ":long"), kLon);
        sqlite3_bind_int(stmt, sqlite3_bind_parameter_index(stmt, ":includeOffered"), 0);
        sqlite3_bind_int64(stmt, sqlite3_bind_parameter_index(stmt, ":timestamp"),
                           clock->nowWithTimeZoneOffsetMilliseconds() / 1000);
        sqlite3_bind_int(stmt, sqlite3_bind_parameter_index(stmt, ":limit"), 200);
        size_t rows = 0;
        int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
            ++rows;
        }
        sqlite3_finalize(stmt);
        return rows;
    }

    std::string path;
    std::string sql;
    std::shared_ptr<bench::SteppedClock> clock = std::make_shared<bench::SteppedClock>();
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::vector<std::shared_ptr<ZarnPSqLiteDao>> keep;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> read;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> indexedRead;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> wholeRead;
    sqlite3* bare = nullptr;
};

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU milliseconds per read of `rounds` reads in a row (so that none finds the page cache filled
// by another way of reading), the clock moved past the cache before each.
template <typename Read>
double cpuMsPerRead(Fixture& fixture, int rounds, Read&& read) {
    double spent = 0;
    for (int i = 0; i < rounds; ++i) {
        fixture.clock->seconds += 11;
        double start = threadCpuSeconds();
        read();
        spent += threadCpuSeconds() - start;
    }
    return spent / rounds * 1e3;
}

// CPU milliseconds per read as the store chooses and by its full statement, in alternating
// sections of a few reads each.
std::pair<double, double> storeAgainstFullStatement(Fixture& fixture, const ZarnPLocationWithAccuracy& here) {
    return bench::alternatingSections(
        16,
        [&] {
            return cpuMsPerRead(fixture, 4,
                                [&] { fixture.read->findNearestGeofenceNotifications(here, false, {}); });
        },
        [&] {
            return cpuMsPerRead(
                fixture, 4, [&] { fixture.wholeRead->findNearestGeofenceNotifications(here, false, {}); });
        });
}

void BM_NearestGeofences(benchmark::State& state) {
    ZarnPLogger::instance().setLevel(ZarnPLogLevelError);
    Fixture fixture(static_cast<int>(state.range(0)));
    ZarnPLocationWithAccuracy here(kLat, kLon, 10);
    size_t found = 0;
    for (auto _ : state) {
        // Past the 10-second cache: every question reads the store.
        fixture.clock->seconds += 11;
        found = fixture.read->findNearestGeofenceNotifications(here, false, {}).size();
    }
    auto indexed = fixture.indexedRead->findNearestGeofenceNotifications(here, false, {});
    auto whole = fixture.wholeRead->findNearestGeofenceNotifications(here, false, {});
    if (found == 0)
        state.SkipWithError("the read found nothing");
    if (indexed != whole)
        state.SkipWithError("the index and the whole statement read different notifications");
    const int rounds = 10;
    auto [store, full] = storeAgainstFullStatement(fixture, here);
    double bare = cpuMsPerRead(fixture, rounds, [&] { fixture.runBare(); });
    double index = cpuMsPerRead(
        fixture, rounds, [&] { fixture.indexedRead->findNearestGeofenceNotifications(here, false, {}); });
    state.counters["store_cpu_ms"] = store;
    state.counters["bare_cpu_ms"] = bare;
    state.counters["ratio"] = bare > 0 ? store / bare : 0;
    state.counters["indexed_cpu_ms"] = index;
    state.counters["whole_cpu_ms"] = full;
    // Above 1: the index reads faster than the whole statement.
    state.counters["whole_over_indexed"] = index > 0 ? full / index : 0;
    state.counters["whole_over_store"] = store > 0 ? full / store : 0;
    state.counters["notifications"] = static_cast<double>(found);
}

// The read as the store chooses against its own full statement, once per size, with the floor.
void BM_NearestAgainstItsFullStatement(benchmark::State& state) {
    ZarnPLogger::instance().setLevel(ZarnPLogLevelError);
    Fixture fixture(static_cast<int>(state.range(0)));
    ZarnPLocationWithAccuracy here(kLat, kLon, 10);
    std::pair<double, double> figures;
    for (auto _ : state) figures = storeAgainstFullStatement(fixture, here);
    auto [store, full] = figures;
    state.counters["store_cpu_ms"] = store;
    state.counters["full_cpu_ms"] = full;
    state.counters["ratio"] = full > 0 ? store / full : 0;
    std::printf(
        "cost row 1, the read at %lld stored: %.2f ms CPU as the store chooses, against its full statement "
        "%.2f ms (%.2fx), in alternating sections\n",
        static_cast<long long>(state.range(0)), store, full, full > 0 ? store / full : 0);
}

}  // namespace

BENCHMARK(BM_NearestGeofences)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(3000)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
BENCHMARK(BM_NearestAgainstItsFullStatement)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(3000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
