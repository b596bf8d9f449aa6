// Storing events through the event service, one event per iteration, against two floors run in
// the same process on the same folder: a bare SQLite loop with the store's statements and
// settings, and one INSERT per WAL + FULL commit (the least a durable event can cost). Each case
// reports the fdatasync calls per stored event, counted by a file-system layer under SQLite.
// ZARN_BENCH_DIR picks the folder (default /tmp): run it once on tmpfs and once on a real disk.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/exchange/ZarnPRemoteEventAndNotificationDao.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPSegmentationReading.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/settings/ZarnPBaseKeyValueDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "testing/RecordingConsole.h"
#include "testing/SyncCountingVfs.h"
#include "tests/support/ServiceDoubles.h"
#include "zarn/platform/Platform.h"

namespace {

using namespace zarn;

constexpr int kEvents = 1000;       // stored per case, one per iteration
constexpr int kLocationCap = 2000;  // the event service's cap on "location_acquired"

constexpr const char* kCreate =
    "CREATE TABLE events (identifier VARCHAR(255) NOT NULL PRIMARY KEY,eventType VARCHAR(255) NOT NULL,date "
    "DOUBLE NOT NULL,extra BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS events_eventType_date ON events(eventType, date)";
constexpr const char* kInsert =
    "INSERT INTO events(identifier, eventType, date, extra) VALUES(:identifier, :eventType, :date, :extra)";
constexpr const char* kLimit =
    "DELETE FROM events WHERE identifier NOT IN( SELECT identifier FROM events WHERE eventType = :eventType "
    "ORDER BY date DESC LIMIT :limit) AND eventType = :eventType";

Value locationExtra(int i) {
    return Value{{"latitude", 52.1 + i * 1e-6}, {"longitude", 4.3}, {"accuracy", 20}};
}

struct World {
    std::string dir = bench::benchDirectory("zarn-bench");
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteEventDao> eventDao;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> kv;
    std::shared_ptr<ZarnPEventService> service;

    World() {
        platform::Services s;
        s.console = std::make_shared<platform::RecordingConsole>();
        platform::install(s);
        ZarnPLogger::instance().setLevel(ZarnPLogLevelError);
        db = std::make_shared<ZarnPSqLiteDb>(22, dir + "/zarn.db", zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        eventDao = std::make_shared<ZarnPSqLiteEventDao>(db);
        kv = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        auto typed = std::make_shared<ZarnPBaseKeyValueDao>(kv->stringKeyValueDao());
        service = ZarnPEventService::create(
            eventDao, typed, std::make_shared<ZarnPUuidGenerator>(),
            std::make_shared<test::FreshSegmentation>(), std::make_shared<test::UnreachableService>(),
            std::make_shared<ZarnPSystemClockDao>(platform::timeSource()), platform::defaultCenter());
        db->database();
    }
    ~World() {
        service.reset();
        eventDao.reset();
        kv.reset();
        db.reset();
        std::filesystem::remove_all(dir);  // with the -wal and -shm files
        platform::uninstall();
    }
    // Events older than any the benchmark stores, in one transaction.
    void prefill(int count) {
        auto connection = db->database();
        connection->beginTransaction();
        for (int i = 0; i < count; ++i)
            eventDao->saveEvent(ZarnPEvent("old-" + std::to_string(i), ZarnPLogEventTypeLocationAcquired,
                                           dateWithTimeIntervalSince1970(1e9 + i), locationExtra(i)));
        connection->commit();
    }
};

void reportSyncs(benchmark::State& state) {
    state.counters["fdatasync/event"] = benchmark::Counter(
        static_cast<double>(test::SyncCountingVfs::install().syncs()) / state.iterations());
}

// The library: the event service stores a "location_acquired" event and applies its cap.
void BM_StoreLocationEvent(benchmark::State& state) {
    World w;
    const int stored = static_cast<int>(state.range(0));
    w.prefill(stored);
    test::SyncCountingVfs::install().reset();
    auto connection = w.db->database();
    uint64_t prepared = connection->preparedStatementCount();
    int i = 0;
    for (auto _ : state)
        w.service->logEventWithType(ZarnPLogEventTypeLocationAcquired, locationExtra(i++), nullptr);
    reportSyncs(state);
    // Statements prepared anew per event; the rest come from the connection's kept statements.
    state.counters["prepared/event"] = benchmark::Counter(
        static_cast<double>(connection->preparedStatementCount() - prepared) / state.iterations());
    int expected = std::min(kLocationCap, stored + kEvents);
    if (w.eventDao->getEventCount() != expected)
        state.SkipWithError("the cap was not applied exactly");
}

// A bare SQLite connection with the store's settings and statements, prepared once: begin, the
// INSERT, the cap when the count passes it, commit.
struct BareEvents {
    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* limit = nullptr;
    std::string dir = bench::benchDirectory("zarn-bench");

    BareEvents() {
        sqlite3_open_v2((dir + "/bare.db").c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
        sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db, kInsert, -1, &insert, nullptr);
        sqlite3_prepare_v2(db, kLimit, -1, &limit, nullptr);
    }
    ~BareEvents() {
        sqlite3_finalize(insert);
        sqlite3_finalize(limit);
        sqlite3_close(db);
        std::filesystem::remove_all(dir);
    }
    bool store(const std::string& id, double date, const std::string& extra) {
        sqlite3_bind_text(insert, 1, id.data(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, "location_acquired", -1, SQLITE_STATIC);
        sqlite3_bind_double(insert, 3, date);
        sqlite3_bind_blob(insert, 4, extra.data(), static_cast<int>(extra.size()), SQLITE_TRANSIENT);
        bool ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
        return ok;
    }
    bool cap() {
        sqlite3_bind_text(limit, 1, "location_acquired", -1, SQLITE_STATIC);
        sqlite3_bind_int(limit, 2, kLocationCap);
        bool ok = sqlite3_step(limit) == SQLITE_DONE;
        sqlite3_reset(limit);
        return ok;
    }
    void prefill(int count) {
        sqlite3_exec(db, "begin exclusive transaction", nullptr, nullptr, nullptr);
        for (int i = 0; i < count; ++i)
            store("old-" + std::to_string(i), 1e9 + i, ZarnPJson::serialise(locationExtra(i)));
        sqlite3_exec(db, "commit transaction", nullptr, nullptr, nullptr);
    }
};

std::vector<std::string> identifiers() {
    std::vector<std::string> ids;
    ZarnPUuidGenerator uuids;
    for (int i = 0; i < kEvents + 100; ++i) ids.push_back(uuids.create());
    return ids;
}

void BM_BareSqliteLoop(benchmark::State& state) {
    BareEvents bare;
    const int stored = static_cast<int>(state.range(0));
    bare.prefill(stored);
    auto ids = identifiers();
    std::string extra = ZarnPJson::serialise(locationExtra(0));
    int count = stored;
    test::SyncCountingVfs::install().reset();
    size_t i = 0;
    for (auto _ : state) {
        sqlite3_exec(bare.db, "begin exclusive transaction", nullptr, nullptr, nullptr);
        bool ok = bare.store(ids[i % ids.size()], 2e9 + static_cast<double>(i), extra);
        if (++count > kLocationCap) {
            ok = bare.cap() && ok;
            count = kLocationCap;
        }
        ok = sqlite3_exec(bare.db, "commit transaction", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
        if (!ok)
            state.SkipWithError("a statement failed");
        ++i;
    }
    reportSyncs(state);
}

// The durable floor: one INSERT per commit, nothing else.
void BM_DurableFloor(benchmark::State& state) {
    BareEvents bare;
    auto ids = identifiers();
    std::string extra = ZarnPJson::serialise(locationExtra(0));
    test::SyncCountingVfs::install().reset();
    size_t i = 0;
    for (auto _ : state) {
        if (!bare.store(ids[i % ids.size()], 2e9 + static_cast<double>(i), extra))
            state.SkipWithError("insert failed");
        ++i;
    }
    reportSyncs(state);
}

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

}  // namespace

// Arguments: the "location_acquired" events stored before the first timed one.
BENCHMARK(BM_StoreLocationEvent)
    ->Arg(0)
    ->Arg(kLocationCap)
    ->Iterations(kEvents)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareSqliteLoop)->Arg(0)->Arg(kLocationCap)->Iterations(kEvents)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DurableFloor)->Iterations(kEvents)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadTenThousandEventsInBatchesOfHundred)->Unit(benchmark::kMillisecond)->Iterations(3);

namespace {

// Prints the console table, then each event case against the floors measured in the same run.
class RatioReporter final : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            Figures f{run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(), 0};
            if (auto it = run.counters.find("fdatasync/event"); it != run.counters.end())
                f.syncs = it->second.value;
            figures_[run.benchmark_name()] = f;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto floor = figures_.find("BM_DurableFloor/iterations:1000");
        if (floor == figures_.end())
            return;
        std::printf("\nPer stored event (us), same run; floors: durable %.1f us wall\n", floor->second.wall);
        std::printf("%-28s %10s %10s %10s %12s %12s %12s\n", "case", "wall", "cpu", "fdatasync", "vs durable",
                    "vs bare loop", "cpu vs dur.");
        for (const char* arg : {"0", "2000"}) {
            auto lib = figures_.find(std::string("BM_StoreLocationEvent/") + arg + "/iterations:1000");
            auto bare = figures_.find(std::string("BM_BareSqliteLoop/") + arg + "/iterations:1000");
            if (lib == figures_.end() || bare == figures_.end())
                continue;
            std::string name = std::string(arg) == "0" ? "under the cap" : "2,000 stored (cap full)";
            std::printf("%-28s %10.1f %10.1f %10.3f %11.2fx %11.2fx %11.2fx\n", name.c_str(),
                        lib->second.wall, lib->second.cpu, lib->second.syncs,
                        lib->second.wall / floor->second.wall, lib->second.wall / bare->second.wall,
                        lib->second.cpu / floor->second.cpu);
            std::printf("%-28s %10.1f %10.1f %10.3f %11.2fx\n", ("  bare loop, " + name).c_str(),
                        bare->second.wall, bare->second.cpu, bare->second.syncs,
                        bare->second.wall / floor->second.wall);
        }
        std::printf("%-28s %10.1f %10.1f %10.3f\n", "durable floor", floor->second.wall, floor->second.cpu,
                    floor->second.syncs);
    }

  private:
    struct Figures {
        double wall;
        double cpu;
        double syncs;
    };
    std::map<std::string, Figures> figures_;
};

}  // namespace

int main(int argc, char** argv) {
    test::SyncCountingVfs::install();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
