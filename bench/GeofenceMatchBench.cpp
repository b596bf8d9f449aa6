// One geofence match run, from the fix handed to the run to the local notification scheduled on
// the simulated device, over 1,000, 10,000 and 100,000 stored geofence notifications: the real
// stores, the real common matching and notification centre, the log at INFO, the nearest cache
// passed by (virtual time moves 11 s before every run). Each run stands on a fresh target fence,
// so that each shows exactly one notification; the "exit" case uses exit fences, so that each run
// marks one fence entered and shows the exit of the one before.
//
// Printed: the process CPU time of the nearest read and of the rest of the run, the wall time,
// the fdatasync calls per run and the statement (or transaction) behind each; and, from the same
// binary in the same run, two floors: the store's nearest statement on a bare connection, and one
// minimal INSERT committed on a bare connection in the same journal mode and synchronous level.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <string>

#include "bench/SyncLedger.h"
#include "bench/TierReplay.h"
#include "core/Format.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "core/ZarnTriggerContext.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPFenceDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemUINotificationDao.h"
#include "services/ZarnPCommonMatchService.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPGeofenceMatchingService.h"
#include "services/ZarnPMatchServiceOfferNotificationDelegate.h"
#include "sim/Device.h"
#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPSegmentationPropertyValidator.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/ZarnPSqLiteNotificationDao.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/ZarnPSqLiteSentTriggerDao.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "testing/RecordingConsole.h"
#include "testing/SyncCountingVfs.h"
#include "testing/VirtualTimeSource.h"
#include "tests/services/ServiceTestSupport.h"
#include "tests/support/FenceDoubles.h"
#include "tests/support/ServiceDoubles.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/UserDefaults.h"

namespace {

using namespace zarn;

constexpr double kLat = 52.0, kLon = 13.0;
constexpr int kTargets = 60;
// About 340 m apart: leaving one target is leaving it for good (range 100 m plus its margin).
constexpr double kTargetStep = 0.005;
// No filler fence lies within about 450 m of the line of targets.
constexpr double kTargetClearance = 0.004;

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The read store, its geofence read timed.
class TimedRead final : public ZarnPNotificationReadDao {
  public:
    explicit TimedRead(std::shared_ptr<ZarnPSqLiteNotificationReadDao> real) : real_(std::move(real)) {}
    std::vector<ZarnPNotification> findNearestGeofenceNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& includeIds) override {
        double cpu = cpuSeconds(), wall = wallSeconds();
        auto out = real_->findNearestGeofenceNotifications(location, includeOffered, includeIds);
        cpuTotal += cpuSeconds() - cpu;
        wallTotal += wallSeconds() - wall;
        rows = out.size();
        return out;
    }
    std::vector<ZarnPNotification> findNearestBeaconNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& includeIds) override {
        return real_->findNearestBeaconNotifications(location, includeOffered, includeIds);
    }
    std::vector<ZarnPNotification> findNearestExternalNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& includeIds) override {
        return real_->findNearestExternalNotifications(location, includeOffered, includeIds);
    }
    std::vector<ZarnPNotification> findByIds(const std::vector<std::string>& ids) override {
        return real_->findByIds(ids);
    }
    std::optional<Error> setOffered(const std::vector<ZarnPNotification>& notifications,
                                    bool value) override {
        return real_->setOffered(notifications, value);
    }
    std::optional<ZarnPNotification> findNearestLocation(const ZarnPLocationWithAccuracy& location,
                                                         bool includeOffered) override {
        return real_->findNearestLocation(location, includeOffered);
    }
    void invalidate() override { real_->invalidate(); }

    double cpuTotal = 0;
    double wallTotal = 0;
    size_t rows = 0;

  private:
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> real_;
};

// An app delegate without filter or geotrigger handler: what is offered is shown.
class ShowEverything final : public ZarnPMatchServiceOfferNotificationDelegate {
  public:
    void offerLocalNotifications(const std::vector<NotificationRequest>& notifications,
                                 std::shared_ptr<ZarnPBackgroundTask> task,
                                 std::shared_ptr<ZarnPContext> context) override {
        if (auto service = common.lock())
            service->showNotifications(notifications, notifications, task, context);
    }
    void offerGeotriggers(const std::vector<NotificationRequest>& geotriggers,
                          std::shared_ptr<ZarnPBackgroundTask> task,
                          std::shared_ptr<ZarnPContext> context) override {
        if (auto service = common.lock())
            service->showNotifications(geotriggers, geotriggers, task, context);
    }
    void notificationSentEvent(std::shared_ptr<ZarnPSentTrigger>) override {}
    void notificationOpenedEvent(std::shared_ptr<ZarnPSentTrigger>) override {}
    std::weak_ptr<ZarnPCommonMatchService> common;
};

struct World {
    World(int stored, bool exitFences) : exit(exitFences) {
        bench::SyncLedger::instance().install();
        char templ[] = "/tmp/zarn-geofence-bench-XXXXXX";
        const char* dir = mkdtemp(templ);
        home = dir ? dir : "/tmp";
        time =
            std::make_shared<platform::VirtualTimeSource>(dateWithTimeIntervalSince1970(1796040000.0), 3600);
        device = std::make_shared<sim::Device>(time);
        platform::Services services;
        services.timeSource = time;
        services.console = std::make_shared<platform::RecordingConsole>();
        services.userDefaults = std::make_shared<platform::MemoryUserDefaults>();
        services.fileSystem = std::make_shared<platform::PosixFileSystem>(home);
        device->provide(services);
        platform::install(services);
        platform::markMainThread();
        device->notificationAuthorization()->setNotificationAuthorizationStatus(
            platform::NotificationAuthorizationStatus::Authorized);
        ZarnPLogger::instance().setLevel(ZarnPLogLevelError);  // quiet while filling

        clock = std::make_shared<ZarnPSystemClockDao>(time);
        db = std::make_shared<ZarnPSqLiteDb>(22, home + "/zarn.db", services.fileSystem);
        db->disableThreadCheck();
        keep = ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db);
        auto cooldowns = std::make_shared<ZarnPSqLiteCooldownDao>(db);
        auto segmentation = std::make_shared<ZarnPSqLiteSegmentationDao>(db);
        auto history = std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db);
        auto strings = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        auto eventDao = std::make_shared<ZarnPSqLiteEventDao>(db);
        auto pages = std::make_shared<ZarnPSqLiteContextualPageDao>(db, clock);
        auto realRead = std::make_shared<ZarnPSqLiteNotificationReadDao>(
            db, cooldowns, clock, segmentation,
            std::make_shared<ZarnPSegmentationPropertyValidator>(clock, history));
        read = std::make_shared<TimedRead>(realRead);
        auto local = std::make_shared<ZarnPSqLiteNotificationDao>(db, cooldowns, clock, realRead);
        auto beacons = std::make_shared<ZarnPSqLiteBeaconNotificationDao>(db, cooldowns, clock);
        auto externals = std::make_shared<ZarnPSqLiteExternalNotificationDao>(db, cooldowns, clock);
        auto sent = std::make_shared<ZarnPSqLiteSentTriggerDao>(db);
        keep.insert(keep.end(), {cooldowns, segmentation, history, strings, eventDao, pages, realRead, local,
                                 beacons, externals, sent});
        db->database();
        keyValues = strings->keyValueDao();
        keyValues->setIntPropertyValue(20, setting::kMaxRegionsMonitored);

        auto uuid = std::make_shared<ZarnPUuidGenerator>();
        auto center = std::make_shared<platform::NotificationCenter>();
        auto events =
            ZarnPEventService::create(eventDao, keyValues, uuid, std::make_shared<test::FreshSegmentation>(),
                                      std::make_shared<test::UnreachableService>(), clock, center);
        timerDao = std::make_shared<ZarnPSystemTimerDao>(time, platform::mainRunLoop(), nullptr);
        contexts = std::make_shared<ZarnPContextService>(clock, events, nullptr);
        contexts->setTimerDao(timerDao);
        auto publicLog = std::make_shared<ZarnPSystemPublicLogDao>(
            clock, nullptr, nullptr, services.fileSystem, time, [] { return true; });
        common = ZarnPCommonMatchService::create(ZarnPCommonMatchService::Collaborators{
            .notificationDao = local,
            .publicLogDao = publicLog,
            .deviceDataDao = std::make_shared<test::FakeDeviceDataDao>(),
            .contextualPageDao = pages,
            .sentTriggerDao = sent,
            .keyValueDao = keyValues,
            .clockDao = clock,
            .contextService = contexts,
            .uiNotificationDao = std::make_shared<ZarnPSystemUINotificationDao>(
                timerDao, device->localNotificationCenter(), device->deviceInfo()),
            .fenceDao = std::make_shared<test::IgnoringFences>(),
            .uuidGenerator = uuid,
            .beaconNotificationDao = beacons,
            .externalNotificationDao = externals,
            .eventService = events,
            .timerDao = timerDao,
            .segmentationHistoryDao = history,
            .db = db,
        });
        delegate->common = common;
        common->setDelegate(delegate);
        service = std::make_shared<ZarnPGeofenceMatchingService>(ZarnPGeofenceMatchingService::Collaborators{
            .commonMatchService = common,
            .notificationReadDao = read,
            .notificationDao = local,
            .eventService = events,
            .publicLogDao = publicLog,
            .contextService = contexts,
            .contextualPageDao = pages,
            .clockDao = clock,
            .segmentationHistoryDao = history,
            .db = db,
        });
        fill(stored);
        ZarnPLogger::instance().setLevel(ZarnPLogLevelInfo);
    }

    ~World() {
        service.reset();
        common.reset();
        contexts.reset();
        timerDao.reset();
        time->runUntilIdle();
        platform::uninstall();
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }

    static double targetLongitude(int k) { return kLon - 0.15 + kTargetStep * k; }

    // 100 campaigns over the filler fences, scattered within about 25 km, one in ten with a
    // polygon; the targets on a line of their own, of one campaign of their own.
    void fill(int stored) {
        sim::DataUpdateDescription d;
        for (int c = 0; c < 100; ++c)
            d.campaigns.push_back({.campaignId = format("c%@", c), .message = "hello"});
        d.campaigns.push_back({.campaignId = "target", .message = "Welcome", .triggerOnExit = exit});
        std::mt19937 random(7);
        std::uniform_real_distribution<double> offset(-0.2, 0.2);
        sim::DataUpdateTile tile;
        auto flush = [&] {
            tile.value = format("u33%@", d.tiles.size());
            tile.lastVersion = 1;
            d.tiles.push_back(std::move(tile));
            tile = {};
        };
        for (int i = 0; i < stored - kTargets; ++i) {
            double lat = kLat + offset(random), lon = kLon + offset(random);
            if (std::abs(lat - kLat) < kTargetClearance)
                lat += lat < kLat ? -kTargetClearance : kTargetClearance;
            sim::DataUpdateNotification n{
                .campaign = format("c%@", i % 100),
                .geofenceId = format("f%@", i),
                .location = sim::DataUpdateLocation{static_cast<float>(lat), static_cast<float>(lon)},
                .matchRange = 100};
            if (i % 10 == 0)
                n.circlesList = std::vector<sim::DataUpdateCircle>{
                    {static_cast<float>(lat), static_cast<float>(lon), 60},
                    {static_cast<float>(lat + 0.001), static_cast<float>(lon), 60},
                    {static_cast<float>(lat + 0.002), static_cast<float>(lon), 60}};
            tile.notifications.push_back(std::move(n));
            if (tile.notifications.size() == 100)
                flush();
        }
        for (int k = 0; k < kTargets; ++k)
            tile.notifications.push_back(
                {.campaign = "target",
                 .geofenceId = format("t%@", k),
                 .location = sim::DataUpdateLocation{static_cast<float>(kLat),
                                                     static_cast<float>(targetLongitude(k))},
                 .matchRange = 100});
        flush();
        auto bytes = sim::DataUpdateBuilder::build(d);
        ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(
            db, std::make_shared<ZarnPSystemPublicLogDao>(
                    clock, nullptr, nullptr, platform::current().fileSystem, time, [] { return false; }));
        orchestrator.save(*ZarnPDataUpdateReader::read(std::span<const uint8_t>(bytes)), nullptr);
        // Every target visited once, so that the timed runs see the steady state.
        for (int k = 0; k < kTargets; ++k) matchRun();
    }

    // One run at the next target: the fix handed to the run, then the show pass on the loop.
    void matchRun() {
        time->advanceBy(11);  // past the nearest cache
        auto here = std::make_shared<ZarnPLocationWithAccuracy>(kLat, targetLongitude(next), 10);
        next = (next + 1) % kTargets;
        service->checkForGeofenceMatches(task, contexts->startContext(ZarnTriggerContextGeofence), here);
        time->runUntilIdle();
    }
    size_t scheduled() { return device->localNotificationCenter()->addedRequests().size(); }

    std::string home;
    bool exit;
    int next = 0;
    std::shared_ptr<platform::VirtualTimeSource> time;
    std::shared_ptr<sim::Device> device;
    std::shared_ptr<ZarnPSystemClockDao> clock;
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::vector<std::shared_ptr<ZarnPSqLiteDao>> keep;
    std::shared_ptr<ZarnPKeyValueDao> keyValues;
    std::shared_ptr<TimedRead> read;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao;
    std::shared_ptr<ZarnPContextService> contexts;
    std::shared_ptr<ShowEverything> delegate = std::make_shared<ShowEverything>();
    std::shared_ptr<ZarnPCommonMatchService> common;
    std::shared_ptr<ZarnPGeofenceMatchingService> service;
    std::shared_ptr<ZarnPBackgroundTask> task = std::make_shared<ZarnPBackgroundTask>(1, nullptr);
};

// The floors, on bare connections to files beside the library's: the nearest statement with the
// store's values over the same rows, and one INSERT committed with WAL and synchronous FULL.
struct Floors {
    explicit Floors(const World& world) {
        sqlite3_open_v2((world.home + "/zarn.db").c_str(), &read, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_exec(read, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
        nearestSql = ZarnPSqLiteNotificationReadDao::nearestQuery(0, "opening_hours_mon", 0);
        sqlite3_open((world.home + "/floor.db").c_str(), &write);
        sqlite3_exec(write, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        sqlite3_exec(write, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
        sqlite3_exec(write, "CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)", nullptr, nullptr, nullptr);
    }
    ~Floors() {
        sqlite3_close(read);
        sqlite3_close(write);
    }
    size_t nearest(double longitude) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(read, nearestSql.c_str(), -1, &s, nullptr);
        sqlite3_bind_double(s, sqlite3_bind_parameter_index(s, ":lat"), kLat);
        sqlite3_bind_double(s, sqlite3_bind_parameter_index(s, ":long"), longitude);
        sqlite3_bind_int(s, sqlite3_bind_parameter_index(s, ":includeOffered"), 0);
        sqlite3_bind_int64(s, sqlite3_bind_parameter_index(s, ":timestamp"), 1796040000);
        sqlite3_bind_int(s, sqlite3_bind_parameter_index(s, ":limit"), 200);
        size_t rows = 0;
        int columns = sqlite3_column_count(s);
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) benchmark::DoNotOptimize(sqlite3_column_text(s, c));
            ++rows;
        }
        sqlite3_finalize(s);
        return rows;
    }
    bool commitOne() {
        return sqlite3_exec(write, "INSERT INTO t (v) VALUES ('x')", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    sqlite3* read = nullptr;
    sqlite3* write = nullptr;
    std::string nearestSql;
};

// The floors of a run's commits: the write statements of the run, as they ran, replayed in one
// transaction on a bare connection to a copy of the library's file made before the timed runs;
// and, on another copy, in the transactions they ran in at the tier of what they hold
// (bench/TierReplay.h).
struct BareRun {
    explicit BareRun(const World& world) : tierPath(world.home + "/tier-copy.db") {
        std::string path = world.home + "/bare-copy.db";
        sqlite3* source = nullptr;
        sqlite3_open((world.home + "/zarn.db").c_str(), &source);
        sqlite3_exec(source, ("VACUUM INTO '" + path + "'").c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(source, ("VACUUM INTO '" + tierPath + "'").c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(source);
        tiers = std::make_unique<bench::TierReplay>(tierPath);
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    }
    ~BareRun() { sqlite3_close(db); }
    void replay(const std::vector<bench::SyncLedger::Write>& writes) {
        if (writes.empty())
            return;
        auto& vfs = test::SyncCountingVfs::install();
        uint64_t s0 = vfs.syncs();
        double w0 = wallSeconds(), c0 = cpuSeconds();
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        for (const auto& write : writes) sqlite3_exec(db, write.sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        wall += wallSeconds() - w0;
        cpu += cpuSeconds() - c0;
        syncs += vfs.syncs() - s0;
        tiers->replay(writes);
    }
    sqlite3* db = nullptr;
    std::string tierPath;
    std::unique_ptr<bench::TierReplay> tiers;
    double wall = 0, cpu = 0;
    uint64_t syncs = 0;
};

void BM_GeofenceMatchRun(benchmark::State& state) {
    const int stored = static_cast<int>(state.range(0));
    const bool exit = state.range(1) != 0;
    World world(stored, exit);
    Floors floors(world);
    BareRun bare(world);
    auto& recorder = bench::SyncLedger::instance();
    recorder.clock = [] { return 0.0; };
    world.read->cpuTotal = world.read->wallTotal = 0;
    size_t before = world.scheduled();
    auto& syncs = test::SyncCountingVfs::install();
    double runCpu = 0, runWall = 0, nearestFloorCpu = 0, commitCpu = 0, commitWall = 0;
    uint64_t runSyncs = 0, floorSyncs = 0;
    std::map<std::string, uint64_t> ledger;
    for (auto _ : state) {
        uint64_t s0 = syncs.syncs();
        recorder.writes.clear();
        bench::SyncLedger::instance().start();
        double c0 = cpuSeconds(), w0 = wallSeconds();
        world.matchRun();
        runCpu += cpuSeconds() - c0;
        runWall += wallSeconds() - w0;
        bench::SyncLedger::instance().stop();
        runSyncs += syncs.syncs() - s0;
        for (auto& [label, count] : bench::SyncLedger::instance().perStatement) ledger[label] += count;

        state.PauseTiming();
        bare.replay(recorder.writes);
        double f0 = cpuSeconds();
        benchmark::DoNotOptimize(floors.nearest(World::targetLongitude(world.next)));
        nearestFloorCpu += cpuSeconds() - f0;
        uint64_t s1 = syncs.syncs();
        f0 = cpuSeconds();
        double fw = wallSeconds();
        if (!floors.commitOne())
            state.SkipWithError("the floor's commit failed");
        commitCpu += cpuSeconds() - f0;
        commitWall += wallSeconds() - fw;
        floorSyncs += syncs.syncs() - s1;
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    if (world.scheduled() - before != state.iterations())
        state.SkipWithError("a run did not schedule exactly one notification");
    const double nearestCpu = world.read->cpuTotal / n * 1e3;
    const double restCpu = runCpu / n * 1e3 - nearestCpu;
    const double floorNearest = nearestFloorCpu / n * 1e3;
    const double floorCommitCpu = commitCpu / n * 1e3;
    const double floorCommitWall = commitWall / n * 1e3;
    const double perRun = static_cast<double>(runSyncs) / n;
    // What the run's own commits cost at the least: as many bare commits as it synced.
    const double commitFloorCpu = perRun * floorCommitCpu;
    state.counters["nearest_cpu_ms"] = nearestCpu;
    state.counters["rest_cpu_ms"] = restCpu;
    state.counters["wall_ms"] = runWall / n * 1e3;
    state.counters["syncs"] = perRun;
    state.counters["nearest_ratio"] = floorNearest > 0 ? nearestCpu / floorNearest : 0;
    state.counters["rest_ratio"] = commitFloorCpu > 0 ? restCpu / commitFloorCpu : 0;
    std::printf(
        "\n%s run, %d stored (%zu read): CPU nearest %.3f ms (bare statement %.3f ms, %.2fx); CPU rest "
        "%.3f ms, of which at least %.3f ms its commits (%.2f x one bare commit of %.3f ms CPU), %.3f ms "
        "beyond them; rest over its commits' floor %.2fx; wall %.3f ms (bare commit %.3f ms wall, %.2f "
        "sync each; run over nearest + commits floor %.2fx); %.2f fdatasync per run:\n",
        exit ? "exit" : "entry", stored, world.read->rows, nearestCpu, floorNearest,
        floorNearest > 0 ? nearestCpu / floorNearest : 0, restCpu, commitFloorCpu, perRun, floorCommitCpu,
        restCpu - commitFloorCpu, commitFloorCpu > 0 ? restCpu / commitFloorCpu : 0, runWall / n * 1e3,
        floorCommitWall, static_cast<double>(floorSyncs) / n,
        runWall / n * 1e3 / (world.read->wallTotal / n * 1e3 + perRun * floorCommitWall), perRun);
    for (auto& [label, count] : ledger)
        std::printf("  %5.2f  %s\n", static_cast<double>(count) / n, label.c_str());
    recorder.clock = nullptr;
    const double bareSyncs = static_cast<double>(bare.syncs) / n;
    const double tierSyncs = static_cast<double>(bare.tiers->syncs) / n;
    std::printf(
        "  floor of the tiers, the run's writes in the transactions they ran in, FULL where someone is told "
        "and NORMAL elsewhere: %.2f fdatasync (run %.2fx)\n",
        tierSyncs, tierSyncs > 0 ? perRun / tierSyncs : 0);
    state.counters["tier_syncs"] = tierSyncs;
    std::printf(
        "  floor, the run's writes in one bare transaction: %.2f fdatasync (run %.2fx), %.3f ms wall (the "
        "run "
        "beyond its nearest read %.3f ms, %.2fx), %.3f ms CPU\n",
        bareSyncs, bareSyncs > 0 ? perRun / bareSyncs : 0, bare.wall / n * 1e3,
        (runWall - world.read->wallTotal) / n * 1e3,
        bare.wall > 0 ? (runWall - world.read->wallTotal) / bare.wall : 0, bare.cpu / n * 1e3);
    state.counters["bare_syncs"] = bareSyncs;
    ZarnPLogger::instance().setLevel(ZarnPLogLevelError);
}

}  // namespace

BENCHMARK(BM_GeofenceMatchRun)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({10000, 1})
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);
