// The nearest reads' spatial index, each figure beside its floor from the same run:
// - the read at 100,000 and 300,000 stored geofences against the statements it ran replayed on a
//   bare connection (the library's own algorithm without the library), and the check that the
//   index is whole before each read against one read of the schema version;
// - mixed stores of 2,000, 5,000 and 100,000 (poles, the antimeridian, places far from everything,
//   fences inside many others, a fifth without a usable place) read as the store chooses against
//   its full statement;
// - one notification of 100,000 circles saved into a store against 100,000 one-circle notifications;
// - the database pages a restart reads before "Zarn_Initialized" at 100,000 stored, against a bare
//   opening's.
// CPU time of the reading thread for reads, wall time for saves.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPPublicLogging.h"
#include "entry/ZarnBaseTesting.h"
#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSegmentationPropertyValidator.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteNotificationAreaDao.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/ZarnPStatement.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "testing/SyncCountingVfs.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/Platform.h"

namespace {

using namespace zarn;

class QuietPublicLog final : public ZarnPPublicLogging {
  public:
    void logMessageIfEnabledAndArguments(const std::shared_ptr<ZarnPContext>&, std::string_view,
                                         const std::vector<FormatArg>&) override {}
};

std::string freshPath(const std::string& name) {
    static const std::string dir = bench::benchDirectory("zarn-index-bench");
    return bench::freshPath(dir, name);
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double wallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The library's file with every table the save writes and the read joins, filled by the save.
struct Store {
    explicit Store(const std::string& path)
        : db(std::make_shared<ZarnPSqLiteDb>(22, path, platform::current().fileSystem)) {
        db->disableThreadCheck();
        registered = ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db);
        auto cooldowns = std::make_shared<ZarnPSqLiteCooldownDao>(db);
        auto segmentation = std::make_shared<ZarnPSqLiteSegmentationDao>(db);
        auto history = std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db);
        registered.insert(registered.end(), {cooldowns, segmentation, history});
        auto validator = std::make_shared<ZarnPSegmentationPropertyValidator>(clock, history);
        read =
            std::make_shared<ZarnPSqLiteNotificationReadDao>(db, cooldowns, clock, segmentation, validator);
        whole =
            std::make_shared<ZarnPSqLiteNotificationReadDao>(db, cooldowns, clock, segmentation, validator);
        whole->setIndexUse(ZarnPSqLiteNotificationReadDao::IndexUse::Never);
        db->database();
    }
    void save(const std::vector<uint8_t>& buffer) {
        ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(db, std::make_shared<QuietPublicLog>());
        orchestrator.save(*ZarnPDataUpdateReader::read(std::span<const uint8_t>(buffer)), nullptr);
    }
    // The store's own connection, reached through a statement it prepares.
    sqlite3* handle() {
        std::unique_ptr<ZarnPStatement> statement;
        db->database()->prepareStatement("SELECT 1", statement);
        return sqlite3_db_handle(statement->statement());
    }

    std::shared_ptr<bench::SteppedClock> clock = std::make_shared<bench::SteppedClock>();
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::vector<std::shared_ptr<ZarnPSqLiteDao>> registered;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> read;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> whole;
};

// `count` geofences of 100 campaigns within about 25 km of 52, 13; one in ten a polygon of three.
std::vector<uint8_t> cityUpdate(int count) {
    sim::DataUpdateDescription d{.deleteAllOldData = true};
    for (int c = 0; c < 100; ++c)
        d.campaigns.push_back({.campaignId = "c" + std::to_string(c), .message = "m"});
    std::mt19937 random(7);
    std::uniform_real_distribution<float> offset(-0.2f, 0.2f);
    for (int i = 0; i < count; ++i) {
        if (i % 100 == 0)
            d.tiles.push_back({.value = "t" + std::to_string(i / 100)});
        float lat = 52.0f + offset(random), lon = 13.0f + offset(random);
        sim::DataUpdateNotification n{.campaign = "c" + std::to_string(i % 100),
                                      .geofenceId = "g" + std::to_string(i),
                                      .location = {{lat, lon}},
                                      .matchRange = 100};
        if (i % 10 == 0)
            n.circlesList = {{{lat, lon, 60}, {lat + 0.001f, lon, 60}, {lat + 0.002f, lon, 60}}};
        d.tiles.back().notifications.push_back(n);
    }
    return sim::DataUpdateBuilder::build(d);
}

// Hundreds of places of every sort: both poles, both sides of the antimeridian, far from any
// other, fences inside many wide ones; one in five without a usable place; every kind.
std::vector<uint8_t> mixedUpdate(int count) {
    sim::DataUpdateDescription d{.deleteAllOldData = true};
    for (int c = 0; c < 20; ++c)
        d.campaigns.push_back({.campaignId = "c" + std::to_string(c), .message = "m"});
    struct Centre {
        float lat, lon, spread;
    };
    const Centre centres[] = {{89.95f, 0, 0.05f},      {-89.95f, 0, 0.05f}, {0.5f, 179.99f, 0.02f},
                              {0.5f, -179.99f, 0.02f}, {-40, 60, 3},        {52, 13, 0.01f}};
    std::mt19937 random(11);
    std::normal_distribution<float> offset(0, 1);
    for (int i = 0; i < count; ++i) {
        if (i % 100 == 0)
            d.tiles.push_back({.value = "t" + std::to_string(i / 100)});
        const Centre& c = centres[i % 6];
        sim::DataUpdateNotification n{
            .campaign = "c" + std::to_string(i % 20),
            .geofenceId = "g" + std::to_string(i),
            .location = {{std::clamp(c.lat + c.spread * offset(random), -90.0f, 90.0f),
                          c.lon + c.spread * offset(random)}},
            .matchRange = i % 6 == 5 ? 20000 : 200};
        switch (i % 10) {
            case 1:
                n.beaconUuid = "E2C56DB5-DFFB-48D2-B060-D0F5A71096E0";
                break;
            case 2:
                n.triggerProperties = {{"p", "v"}};
                break;
            case 3:
                n.location.reset();
                break;
            case 4:
                n.location.reset();
                n.beaconUuid = "E2C56DB5-DFFB-48D2-B060-D0F5A71096E0";
                break;
            default:
                break;
        }
        d.tiles.back().notifications.push_back(n);
    }
    return sim::DataUpdateBuilder::build(d);
}

// CPU milliseconds per read, `rounds` reads, the clock moved past the cache before each.
template <typename Read>
double cpuMsPerRead(bench::SteppedClock& clock, int rounds, Read&& read) {
    double spent = 0;
    for (int i = 0; i < rounds; ++i) {
        clock.seconds += 11;
        double start = threadCpuSeconds();
        read();
        spent += threadCpuSeconds() - start;
    }
    return spent / rounds * 1e3;
}

// The statements one read runs, with their values written in, as SQLite saw them.
std::vector<std::string> statementsOfOneRead(Store& store, const ZarnPLocationWithAccuracy& here) {
    std::vector<std::string> statements;
    sqlite3_trace_v2(
        store.handle(), SQLITE_TRACE_STMT,
        [](unsigned, void* out, void* stmt, void*) {
            char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(stmt));
            if (sql && std::strncmp(sql, "PRAGMA", 6) != 0)
                static_cast<std::vector<std::string>*>(out)->push_back(sql);
            sqlite3_free(sql);
            return 0;
        },
        &statements);
    store.clock->seconds += 11;
    store.read->findNearestGeofenceNotifications(here, false, {});
    sqlite3_trace_v2(store.handle(), 0, nullptr, nullptr);
    return statements;
}

// Runs each statement on `bare`, every column of every row read.
void replay(sqlite3* bare, const std::vector<std::string>& statements) {
    for (const auto& sql : statements) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(bare, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            continue;
        int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < columns; ++c) benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
        sqlite3_finalize(stmt);
    }
}

void BM_NearestThroughTheIndex(benchmark::State& state) {
    ZarnPLogger::instance().setLevel(ZarnPLogLevelError);
    int count = static_cast<int>(state.range(0));
    std::string path = freshPath("city-" + std::to_string(count) + ".db");
    Store store(path);
    store.save(cityUpdate(count));
    ZarnPLocationWithAccuracy here(52.0, 13.0, 10);
    auto statements = statementsOfOneRead(store, here);
    sqlite3* bare = nullptr;
    sqlite3_open_v2(path.c_str(), &bare, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(bare, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
    for (auto _ : state) {
        store.clock->seconds += 11;
        benchmark::DoNotOptimize(store.read->findNearestGeofenceNotifications(here, false, {}));
    }
    const int rounds = 20;
    double library = cpuMsPerRead(*store.clock, rounds,
                                  [&] { store.read->findNearestGeofenceNotifications(here, false, {}); });
    double floor = cpuMsPerRead(*store.clock, rounds, [&] { replay(bare, statements); });
    double full = cpuMsPerRead(*store.clock, rounds,
                               [&] { store.whole->findNearestGeofenceNotifications(here, false, {}); });
    // The check before each read, against one read of the schema version on a bare connection.
    auto connection = store.db->database();
    ZarnPSqLiteNotificationAreaDao::Trust trust;
    const int checks = 2000;
    double start = threadCpuSeconds();
    for (int i = 0; i < checks; ++i) benchmark::DoNotOptimize(trust.isWhole(*connection));
    double check = (threadCpuSeconds() - start) / checks * 1e3;
    start = threadCpuSeconds();
    for (int i = 0; i < checks; ++i) sqlite3_exec(bare, "PRAGMA schema_version", nullptr, nullptr, nullptr);
    double checkFloor = (threadCpuSeconds() - start) / checks * 1e3;
    sqlite3_close(bare);
    state.counters["lib_cpu_ms"] = library;
    state.counters["bare_algorithm_cpu_ms"] = floor;
    state.counters["ratio"] = floor > 0 ? library / floor : 0;
    state.counters["full_statement_cpu_ms"] = full;
    state.counters["trust_check_ms"] = check;
    state.counters["schema_version_ms"] = checkFloor;
    std::printf(
        "nearest at %d: library %.2f ms CPU, its statements on a bare connection %.2f ms (%.2fx), full "
        "statement %.2f ms; trust check %.4f ms against a schema-version read %.4f ms (%.2fx); %zu "
        "statements\n",
        count, library, floor, floor > 0 ? library / floor : 0, full, check, checkFloor,
        checkFloor > 0 ? check / checkFloor : 0, statements.size());
}

void BM_NearestOnMixedStores(benchmark::State& state) {
    ZarnPLogger::instance().setLevel(ZarnPLogLevelError);
    int count = static_cast<int>(state.range(0));
    Store store(freshPath("mixed-" + std::to_string(count) + ".db"));
    store.save(mixedUpdate(count));
    const ZarnPLocationWithAccuracy places[] = {{89.97, 10, 10},     {-89.9, -120, 10}, {0.5, 179.995, 10},
                                                {0.5, -179.995, 10}, {-40, 60, 10},     {52, 13, 10},
                                                {10, -100, 10}};
    auto readAll = [&](ZarnPSqLiteNotificationReadDao& read) {
        for (const auto& here : places)
            for (int kind = 0; kind < 3; ++kind) {
                read.invalidate();
                benchmark::DoNotOptimize(read.findNearestNotifications(here, 200, false, kind, {}));
            }
    };
    for (auto _ : state) readAll(*store.read);
    readAll(*store.whole);  // both ways warm
    auto [library, full] = bench::alternatingSections(
        count >= 100000 ? 10 : 30,
        [&] { return cpuMsPerRead(*store.clock, 1, [&] { readAll(*store.read); }); },
        [&] { return cpuMsPerRead(*store.clock, 1, [&] { readAll(*store.whole); }); });
    double reads = static_cast<double>(std::size(places) * 3);
    state.counters["lib_cpu_ms_per_read"] = library / reads;
    state.counters["full_cpu_ms_per_read"] = full / reads;
    state.counters["ratio"] = full > 0 ? library / full : 0;
    std::printf(
        "cost row 2, mixed store of %d: %.2f ms CPU a read as the store chooses, against its full "
        "statement %.2f ms (%.2fx), in alternating sections\n",
        count, library / reads, full / reads, full > 0 ? library / full : 0);
}

// 100,000 circles of one notification, saved into a store of a few notifications (row by row,
// through the triggers), against 100,000 one-circle notifications saved into the same store.
void BM_PolygonOfManyCircles(benchmark::State& state) {
    ZarnPLogger::instance().setLevel(ZarnPLogLevelError);
    const int circles = static_cast<int>(state.range(0));
    auto base = [] {
        sim::DataUpdateDescription d{.deleteAllOldData = true,
                                     .campaigns = {{.campaignId = "c", .message = "m"}},
                                     .tiles = {{.value = "base"}}};
        for (int i = 0; i < 10; ++i)
            d.tiles[0].notifications.push_back({.campaign = "c",
                                                .geofenceId = "b" + std::to_string(i),
                                                .location = {{52, 13}},
                                                .matchRange = 50});
        return sim::DataUpdateBuilder::build(d);
    }();
    auto tile = [&](bool onePolygon) {
        sim::DataUpdateDescription d{.campaigns = {{.campaignId = "c", .message = "m"}},
                                     .tiles = {{.value = "p"}}};
        std::vector<sim::DataUpdateCircle> list;
        for (int i = 0; i < circles; ++i) {
            sim::DataUpdateCircle circle{52.0f + 0.5f * std::sin(i * 0.001f),
                                         13.0f + 0.5f * std::cos(i * 0.001f), 30};
            if (onePolygon)
                list.push_back(circle);
            else
                d.tiles[0].notifications.push_back(
                    {.campaign = "c",
                     .geofenceId = "n" + std::to_string(i),
                     .location = {{circle.centerLatitude, circle.centerLongitude}},
                     .matchRange = 30,
                     .circlesList = std::vector<sim::DataUpdateCircle>{circle}});
        }
        if (onePolygon)
            d.tiles[0].notifications.push_back({.campaign = "c",
                                                .geofenceId = "poly",
                                                .location = {{52, 13}},
                                                .matchRange = 30,
                                                .circlesList = list});
        return sim::DataUpdateBuilder::build(d);
    };
    auto polygon = tile(true), singles = tile(false);
    double spent[2] = {0, 0};
    for (auto _ : state) {
        for (int which = 0; which < 2; ++which) {
            Store store(freshPath("polygon.db"));
            store.save(base);
            double start = wallSeconds();
            store.save(which == 0 ? polygon : singles);
            spent[which] += wallSeconds() - start;
        }
    }
    double n = static_cast<double>(state.iterations());
    state.counters["one_polygon_ms"] = spent[0] / n * 1e3;
    state.counters["single_circles_ms"] = spent[1] / n * 1e3;
    state.counters["ratio"] = spent[0] / spent[1];
    std::printf("one notification of %d circles %.0f ms; %d one-circle notifications %.0f ms (%.2fx)\n",
                circles, spent[0] / n * 1e3, circles, spent[1] / n * 1e3, spent[0] / spent[1]);
}

// The pages of the database file a restart reads until "Zarn_Initialized" with 100,000 stored,
// against the pages a bare connection reads to open the file and read its schema.
void BM_RestartPages(benchmark::State& state) {
    auto& vfs = test::SyncCountingVfs::install();
    bench::SimulatedHost host("zarn-restart-pages", 1796000000.0, 0);
    std::string path = host.services.fileSystem->expandTilde("~/Documents/zarn.db");
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    {
        Store store(path);
        store.save(cityUpdate(static_cast<int>(state.range(0))));
    }
    uint64_t library = 0, floor = 0;
    for (auto _ : state) {
        std::filesystem::remove(path + "-checked");
        vfs.reset();
        bool initialized = false;
        platform::defaultCenter()->addObserver(&initialized, "Zarn_Initialized",
                                               [&](const platform::Broadcast&) {
                                                   if (!initialized)
                                                       library = vfs.databaseReads();
                                                   initialized = true;
                                               });
        auto c = ZarnConfiguration::create();
        c->setPublicToken(std::string("bench-token"));
        c->setDelegate(std::make_shared<ZarnDelegate>());
        ZarnBase::performInitializationWithConfiguration(c);
        host.time->runUntilIdle();
        platform::defaultCenter()->removeObserver(&initialized);
        testing::resetEntry();
        host.time->runUntilIdle();
        vfs.reset();
        sqlite3* bare = nullptr;
        sqlite3_open_v2(path.c_str(), &bare, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(bare, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        sqlite3_close(bare);
        floor = vfs.databaseReads();
    }
    state.counters["pages_before_initialized"] = static_cast<double>(library);
    state.counters["bare_opening_pages"] = static_cast<double>(floor);
    std::printf(
        "restart at %lld stored: %llu pages read before Zarn_Initialized; a bare opening reads %llu\n",
        static_cast<long long>(state.range(0)), static_cast<unsigned long long>(library),
        static_cast<unsigned long long>(floor));
}

}  // namespace

BENCHMARK(BM_NearestThroughTheIndex)->Arg(100000)->Arg(300000)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NearestOnMixedStores)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(100000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PolygonOfManyCircles)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RestartPages)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
