// One beacon match run: 20 sightings against 10,000 stored beacon notifications, the sighted ones
// entered before (so the nearest read includes them) and the nearest cache forgotten before every
// run. The floor is the same run's store reads alone (entered ids, just-entered ids, the nearest
// read with the entered ids), from the same binary; "ratio" is the run over the floor.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "bench/BenchSupport.h"
#include "core/Format.h"
#include "core/ZarnPBeaconUtil.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "core/ZarnTriggerContext.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemUINotificationDao.h"
#include "services/ZarnPBeaconMatchingService.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "sim/Device.h"
#include "sim/service/DataUpdateBuilder.h"
#include "store/ZarnPSegmentationPropertyValidator.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "testing/RecordingConsole.h"
#include "testing/VirtualTimeSource.h"
#include "tests/support/CmatchDoubles.h"
#include "tests/support/ServiceDoubles.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/Platform.h"

namespace {

using namespace zarn;

constexpr int kStored = 10000;
constexpr int kSightings = 20;
constexpr const char* kUuids[] = {"0123456789abcdef0123456789abcdef", "1123456789abcdef0123456789abcdef",
                                  "2123456789abcdef0123456789abcdef", "3123456789abcdef0123456789abcdef"};

// Takes what a run hands on and counts it; no cooldown is running.
class CountingCommonMatching final : public test::DelegateOnlyCommonMatching {
  public:
    void sendNotificationsToFilter(const std::vector<NotificationRequest>& requests,
                                   const std::shared_ptr<ZarnPBackgroundTask>&,
                                   const std::shared_ptr<ZarnPContext>&) override {
        handedOn += requests.size();
    }
    size_t handedOn = 0;
};

struct World {
    World() {
        clock = std::make_shared<ZarnPSystemClockDao>(time);
        db = std::make_shared<ZarnPSqLiteDb>(22, home + "/zarn.db", host.services.fileSystem);
        db->disableThreadCheck();
        keep = ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db);
        auto cooldowns = std::make_shared<ZarnPSqLiteCooldownDao>(db);
        auto segmentation = std::make_shared<ZarnPSqLiteSegmentationDao>(db);
        auto history = std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db);
        auto keyValues = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        auto eventDao = std::make_shared<ZarnPSqLiteEventDao>(db);
        auto pages = std::make_shared<ZarnPSqLiteContextualPageDao>(db, clock);
        beacons = std::make_shared<ZarnPSqLiteBeaconNotificationDao>(db, cooldowns, clock);
        read = std::make_shared<ZarnPSqLiteNotificationReadDao>(
            db, cooldowns, clock, segmentation,
            std::make_shared<ZarnPSegmentationPropertyValidator>(clock, history));
        keep.insert(keep.end(), {cooldowns, segmentation, history, keyValues, eventDao});
        db->database();

        auto uuid = std::make_shared<ZarnPUuidGenerator>();
        auto center = std::make_shared<platform::NotificationCenter>();
        auto events = ZarnPEventService::create(eventDao, keyValues->keyValueDao(), uuid,
                                                std::make_shared<test::FreshSegmentation>(),
                                                std::make_shared<test::UnreachableService>(), clock, center);
        contexts = std::make_shared<ZarnPContextService>(clock, events, nullptr);
        timerDao = std::make_shared<ZarnPSystemTimerDao>(time, platform::mainRunLoop(), nullptr);
        auto publicLog = std::make_shared<ZarnPSystemPublicLogDao>(
            clock, nullptr, nullptr, host.services.fileSystem, time, [] { return true; });
        service = std::make_shared<ZarnPBeaconMatchingService>(ZarnPBeaconMatchingService::Collaborators{
            .beaconNotificationDao = beacons,
            .eventService = events,
            .notificationReadDao = read,
            .commonMatchService = common,
            .uuidGenerator = uuid,
            .contextualPageDao = pages,
            .clockDao = clock,
            .uiNotificationDao = std::make_shared<ZarnPSystemUINotificationDao>(
                timerDao, device->localNotificationCenter(), device->deviceInfo()),
            .publicLogDao = publicLog,
            .contextService = contexts,
            .db = db,
        });
        fill();
    }

    // The service and its timer go before the host uninstalls the platform.
    ~World() {
        service.reset();
        timerDao.reset();
    }

    // 100 campaigns of 100 beacon notifications, four UUIDs; the first 20 of UUID 0 are sighted
    // and entered.
    void fill() {
        sim::DataUpdateDescription d;
        for (int c = 0; c < 100; ++c)
            d.campaigns.push_back({.campaignId = format("c%@", c), .message = "hello"});
        for (int t = 0; t < kStored / 100; ++t) {
            sim::DataUpdateTile tile{.value = format("u33%@", t), .lastVersion = 1};
            for (int k = 0; k < 100; ++k) {
                int i = t * 100 + k;
                tile.notifications.push_back({.campaign = format("c%@", i % 100),
                                              .geofenceId = format("b%@", i),
                                              .beaconUuid = kUuids[i % 4],
                                              .beaconMajorId = i / 4 / 100,
                                              .beaconMinorId = i / 4 % 100,
                                              .matchRange = 30});
            }
            d.tiles.push_back(std::move(tile));
        }
        auto bytes = sim::DataUpdateBuilder::build(d);
        ZarnPSqLiteDataUpdateSaveOrchestrator orchestrator(
            db, std::make_shared<ZarnPSystemPublicLogDao>(
                    clock, nullptr, nullptr, platform::current().fileSystem, time, [] { return false; }));
        orchestrator.save(*ZarnPDataUpdateReader::read(std::span<const uint8_t>(bytes)), nullptr);
        auto uuid0 = *ZarnPBeaconUtil::stringToUuid(kUuids[0]);
        for (int s = 0; s < kSightings; ++s) {
            int i = s * 4;  // UUID 0
            sightings.push_back({.proximityUuid = uuid0.bytes(),
                                 .major = i / 4 / 100,
                                 .minor = i / 4 % 100,
                                 .proximity = platform::BeaconProximity::Near});
            Error error;
            beacons->markUserEntered(true, format("c%@;b%@", i % 100, i), uuid0, &error);
        }
        uuids = {uuid0};
    }

    void matchRun() {
        read->invalidate();
        service->checkForBeaconMatches(sightings, false, nullptr,
                                       contexts->startContext(ZarnTriggerContextBeacon), location);
    }
    size_t floor() {
        read->invalidate();
        auto entered = beacons->getEnteredIdsForBeaconUuids(uuids);
        auto just = beacons->getJustEnteredNotificationsForBeaconUuids(uuids);
        return read->findNearestBeaconNotifications(*location, false, {entered.begin(), entered.end()})
                   .size() +
               just.size();
    }

    bench::SimulatedHost host{"zarn-beacon-bench", 1796000000.0, 3600};
    const std::string& home = host.home;
    std::shared_ptr<platform::VirtualTimeSource> time = host.time;
    std::shared_ptr<sim::Device> device = host.device;
    std::shared_ptr<ZarnPSystemClockDao> clock;
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::vector<std::shared_ptr<ZarnPSqLiteDao>> keep;
    std::shared_ptr<ZarnPSqLiteBeaconNotificationDao> beacons;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> read;
    std::shared_ptr<ZarnPContextService> contexts;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao;
    std::shared_ptr<CountingCommonMatching> common = std::make_shared<CountingCommonMatching>();
    std::shared_ptr<ZarnPBeaconMatchingService> service;
    std::vector<platform::Beacon> sightings;
    std::vector<Uuid> uuids;
    std::shared_ptr<ZarnPLocationWithAccuracy> location =
        std::make_shared<ZarnPLocationWithAccuracy>(52.0, 13.0, 10);
};

void BM_BeaconMatchRun(benchmark::State& state) {
    World world;
    double runSeconds = 0, floorSeconds = 0;
    size_t read = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        world.matchRun();
        auto middle = std::chrono::steady_clock::now();
        state.PauseTiming();
        read = world.floor();
        auto end = std::chrono::steady_clock::now();
        state.ResumeTiming();
        runSeconds += std::chrono::duration<double>(middle - start).count();
        floorSeconds += std::chrono::duration<double>(end - middle).count();
    }
    if (read == 0 || world.common->handedOn != 0)
        state.SkipWithError("the run read nothing, or offered an entered notification");
    auto iterations = static_cast<double>(state.iterations());
    state.counters["run_ms"] = runSeconds / iterations * 1e3;
    state.counters["floor_ms"] = floorSeconds / iterations * 1e3;
    state.counters["ratio"] = floorSeconds > 0 ? runSeconds / floorSeconds : 0;
    state.counters["rows"] = static_cast<double>(read);
}

}  // namespace

BENCHMARK(BM_BeaconMatchRun)->Unit(benchmark::kMillisecond);
