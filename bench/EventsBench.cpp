// Storing 10,000 events through the event service and reading them back in batches of 100,
// as an upload drains them.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/ZarnPBaseKeyValueDao.h"
#include "device/ZarnPRemoteEventAndNotificationDao.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPSegmentationService.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteKeyValueDao.h"
#include "testing/RecordingConsole.h"
#include "zarn/platform/Platform.h"

namespace {

using namespace zarn;

class NoRemote final : public ZarnPRemoteEventAndNotificationDao {
  public:
    void storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>&, const std::string&,
                     const std::optional<std::string>&, std::optional<bool>, const Value&,
                     std::shared_ptr<ZarnPStoreEventsDelegate>) override {}
};

struct World {
    std::string dir;
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteEventDao> eventDao;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> kv;
    std::shared_ptr<ZarnPEventService> service;

    World() {
        char templ[] = "/tmp/zarn-bench-XXXXXX";
        dir = mkdtemp(templ);
        platform::Services s;
        s.console = std::make_shared<platform::RecordingConsole>();
        platform::install(s);
        ZarnPLogger::instance().setLevel(ZarnPLogLevelError);
        db = std::make_shared<ZarnPSqLiteDb>(22, dir + "/zarn.db");
        db->disableThreadCheck();
        eventDao = std::make_shared<ZarnPSqLiteEventDao>(db);
        kv = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        auto typed = std::make_shared<ZarnPBaseKeyValueDao>(kv->stringKeyValueDao());
        service = ZarnPEventService::create(
            eventDao, typed, std::make_shared<ZarnPUuidGenerator>(),
            std::make_shared<ZarnPSegmentationService>(), std::make_shared<NoRemote>(),
            std::make_shared<ZarnPSystemClockDao>(), platform::defaultCenter());
    }
    ~World() {
        service.reset();
        eventDao.reset();
        kv.reset();
        db.reset();
        std::filesystem::remove_all(dir);
        platform::uninstall();
    }
};

void BM_StoreTenThousandEvents(benchmark::State& state) {
    for (auto _ : state) {
        World w;
        for (int i = 0; i < 10000; ++i)
            w.service->logEventWithType(
                ZarnPLogEventTypeLocationAcquired,
                Value{{"latitude", 52.1 + i * 1e-6}, {"longitude", 4.3}, {"accuracy", 20}}, nullptr);
        benchmark::DoNotOptimize(w.eventDao->getEventCount());
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_StoreTenThousandEvents)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ReadTenThousandEventsInBatchesOfHundred(benchmark::State& state) {
    World w;
    for (auto _ : state) {
        state.PauseTiming();
        auto connection = w.db->database();
        connection->beginTransaction();
        for (int i = 0; i < 10000; ++i)
            w.eventDao->saveEvent(ZarnPEvent("E" + std::to_string(i), ZarnPLogEventTypeHeartbeat,
                                             dateWithTimeIntervalSince1970(i), Value{{"i", i}}));
        connection->commit();
        state.ResumeTiming();
        size_t read = 0;
        for (;;) {
            auto batch = w.eventDao->getEvents();
            if (batch.empty())
                break;
            read += batch.size();
            w.eventDao->deleteEvents(batch);
        }
        if (read != 10000)
            state.SkipWithError("not every event came back");
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_ReadTenThousandEventsInBatchesOfHundred)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
