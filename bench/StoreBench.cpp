// Prepared bulk insert: 100,000 rows in one transaction through the access layer, through a
// store's prepared save, and through a bare SQLite loop, on the same file system. Then the
// library's starts, each against bare SQLite floors in the same run: a first start (the module's
// opening of a new file, and the whole start through the public entry) and a restart on a 16 MiB
// file (the opening, and the whole start). The floor of the fdatasync calls is the start's own
// write statements replayed on a bare connection to a new file (or to a copy of the file as the
// restart found it) in the transactions they ran in, at FULL where someone outside is told and
// NORMAL elsewhere (bench/TierReplay.h); those of the pages read and the wall time are, for a first
// start, the same schema made in one bare transaction, and, for a restart, a bare open that reads
// the schema.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/SyncLedger.h"
#include "bench/TierReplay.h"
#include "core/ZarnPLogger.h"
#include "entry/ZarnBaseTesting.h"
#include "entry/ZarnPModule.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "testing/SyncCountingVfs.h"
#include "tests/support/ModuleGround.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/platform/Platform.h"

namespace {

constexpr int kRows = 100000;
constexpr const char* kCreate =
    "CREATE TABLE rows (id INTEGER PRIMARY KEY, name TEXT NOT NULL, value REAL, count INTEGER)";
constexpr const char* kInsert = "INSERT INTO rows (id, name, value, count) VALUES (?, ?, ?, ?)";

const std::vector<std::string>& names() {
    static const std::vector<std::string> n = [] {
        std::vector<std::string> v;
        v.reserve(kRows);
        for (int i = 0; i < kRows; ++i) v.push_back("campaign-" + std::to_string(i) + "-notification");
        return v;
    }();
    return n;
}

std::string freshPath(const char* name) {
    static const std::string dir = [] {
        char templ[] = "/tmp/zarn-bench-XXXXXX";
        const char* d = mkdtemp(templ);
        return std::string(d ? d : "/tmp");
    }();
    std::string path = dir + "/" + name;
    std::error_code ec;
    std::filesystem::remove(path, ec);
    for (const char* suffix : {"-journal", "-wal", "-shm"}) std::filesystem::remove(path + suffix, ec);
    return path;
}

void BM_BareSqliteBulkInsert(benchmark::State& state) {
    const auto& n = names();
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3* db = nullptr;
        sqlite3_open_v2(freshPath("bare.db").c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr);
        sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
        state.ResumeTiming();

        sqlite3_exec(db, "begin exclusive transaction", nullptr, nullptr, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, kInsert, -1, &stmt, nullptr);
        for (int i = 0; i < kRows; ++i) {
            sqlite3_bind_int64(stmt, 1, i + 1);
            sqlite3_bind_text64(stmt, 2, n[i].data(), n[i].size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            sqlite3_bind_double(stmt, 3, i * 0.5);
            sqlite3_bind_int(stmt, 4, i);
            if (sqlite3_step(stmt) != SQLITE_DONE)
                state.SkipWithError("step failed");
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
        sqlite3_exec(db, "commit transaction", nullptr, nullptr, nullptr);

        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_AccessLayerBulkInsert(benchmark::State& state) {
    const auto& n = names();
    for (auto _ : state) {
        state.PauseTiming();
        auto db = zarn::ZarnPDatabase::databaseWithPath(freshPath("layer.db"));
        db->openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db->executeUpdate(kCreate);
        state.ResumeTiming();

        db->beginTransaction();
        std::unique_ptr<zarn::ZarnPStatement> insert;
        db->prepareStatement(kInsert, insert);
        for (int i = 0; i < kRows; ++i) {
            db->bindLong(*insert, 1, i + 1);
            db->bindString(*insert, 2, n[i]);
            db->bindDouble(*insert, 3, i * 0.5);
            db->bindInt(*insert, 4, i);
            if (!db->executeStatementAndReset(*insert))
                state.SkipWithError("step failed");
        }
        insert.reset();
        db->commit();

        state.PauseTiming();
        db.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// A store's bulk save: the id counter, the prepared INSERT and the error rule on every row.
class RowDao : public zarn::ZarnPSqLiteDao {
  public:
    explicit RowDao(std::shared_ptr<zarn::ZarnPSqLiteDb> db) : ZarnPSqLiteDao(std::move(db)) {
        setTableName("rows");
    }
    void createOrUpdate(int version) override {
        if (version < 1)
            database()->executeUpdate(kCreate);
    }
    void save(const std::string& name, int i) {
        prepareForSaveIfNotPrepared(kInsert);
        auto& statement = *savePreparedStatement();
        auto connection = database();
        connection->bindLong(statement, 1, nextSavedId());
        connection->bindString(statement, 2, name);
        connection->bindDouble(statement, 3, i * 0.5);
        connection->bindInt(statement, 4, i);
        executeStatement(statement);
    }
    using ZarnPSqLiteDao::commit;
    using ZarnPSqLiteDao::database;
};

void BM_StoreBulkSave(benchmark::State& state) {
    zarn::ZarnPLogger::instance().setLevel(zarn::ZarnPLogLevelError);  // the opening's expected lines
    const auto& n = names();
    for (auto _ : state) {
        state.PauseTiming();
        auto sqliteDb = std::make_shared<zarn::ZarnPSqLiteDb>(22, freshPath("store.db"),
                                                              zarn::platform::current().fileSystem);
        sqliteDb->disableThreadCheck();
        auto dao = std::make_unique<RowDao>(sqliteDb);
        sqliteDb->database();
        state.ResumeTiming();

        dao->database()->beginTransaction();
        for (int i = 0; i < kRows; ++i) dao->save(n[i], i);
        dao->commit();

        state.PauseTiming();
        dao.reset();
        sqliteDb.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// What one measured stretch cost: wall time, fdatasync calls, main-database pages read.
struct Cost {
    double ms = 0;
    double syncs = 0;
    double reads = 0;
};

// The write statements of the last measured stretch.
std::vector<zarn::bench::SyncLedger::Write> lastWrites;

template <typename F>
Cost measure(F&& f) {
    auto& vfs = zarn::test::SyncCountingVfs::install();
    auto& ledger = zarn::bench::SyncLedger::instance();
    ledger.install();
    ledger.writes.clear();
    ledger.clock = [] { return 0.0; };
    ledger.start();
    vfs.reset();
    auto began = std::chrono::steady_clock::now();
    f();
    Cost cost{std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count(),
              static_cast<double>(vfs.syncs()), static_cast<double>(vfs.databaseReads())};
    ledger.stop();
    lastWrites = ledger.writes;
    ledger.clock = nullptr;
    return cost;
}

// The fdatasync calls of `writes` replayed with the tiers on the file at `path`, which goes after.
double tierFloor(const std::string& path, const std::vector<zarn::bench::SyncLedger::Write>& writes) {
    double syncs = 0;
    {
        zarn::bench::TierReplay tiers(path);
        tiers.replay(writes);
        syncs = static_cast<double>(tiers.syncs);
    }
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    return syncs;
}

void report(const std::string& name, const Cost& lib, double syncFloor, const Cost& floor) {
    std::printf(
        "%-20s fdatasync %3.0f (floor %2.0f)  pages read %5.0f (floor %4.0f)  %7.2f ms (floor %6.2f ms, "
        "%.1fx)\n",
        name.c_str(), lib.syncs, syncFloor, lib.reads, floor.reads, lib.ms, floor.ms,
        floor.ms > 0 ? lib.ms / floor.ms : 0);
}

// The module built on the installed platform and its file opened and migrated on the SDK thread.
Cost openModule() {
    std::unique_ptr<zarn::test::ModuleGround> ground;
    std::shared_ptr<zarn::ZarnPModule> module;
    Cost cost = measure([&] {
        ground = std::make_unique<zarn::test::ModuleGround>();
        module = ground->build(nullptr);
        ground->onSdk([&] { ground->db->database(); });
    });
    module.reset();
    ground.reset();
    return cost;
}

// The whole start through the public entry, to "Zarn_Initialized" and the enabling.
Cost startLibrary(zarn::bench::SimulatedHost& host) {
    Cost cost = measure([&] {
        auto c = zarn::ZarnConfiguration::create();
        c->setPublicToken(std::string("bench-token"));
        c->setDelegate(std::make_shared<zarn::ZarnDelegate>());
        zarn::ZarnBase::performInitializationWithConfiguration(c);
        host.time->runUntilIdle();
    });
    zarn::testing::resetEntry();
    host.time->runUntilIdle();
    return cost;
}

sqlite3* openBare(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    return db;
}

void BM_Starts(benchmark::State& state) {
    zarn::bench::SimulatedHost host("zarn-start", 1796000000.0, 0);
    std::string path = host.services.fileSystem->expandTilde("~/Documents/zarn.db");
    for (auto _ : state) {
        for (const char* suffix : {"", "-wal", "-shm", "-checked"}) std::filesystem::remove(path + suffix);
        std::string replayPath = host.home + "/replay.db";
        Cost firstOpening = openModule();
        double firstOpeningFloor = tierFloor(replayPath, lastWrites);
        // The floor: the schema the opening made, in one transaction on a new bare file.
        std::string schema;
        {
            sqlite3* db = openBare(path);
            sqlite3_stmt* st = nullptr;
            // SQLite makes its own tables, and a virtual table its shadow tables: they are left out.
            sqlite3_prepare_v2(
                db,
                "SELECT sql FROM sqlite_master m WHERE sql NOT NULL AND name NOT LIKE 'sqlite\\_%' ESCAPE "
                "'\\' AND NOT "
                "EXISTS (SELECT 1 FROM "
                "sqlite_master v WHERE v.sql LIKE 'CREATE VIRTUAL TABLE%' AND m.name LIKE v.name || "
                "'\\_%' ESCAPE '\\') ORDER BY rowid",
                -1, &st, nullptr);
            while (sqlite3_step(st) == SQLITE_ROW)
                schema += std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) + ";";
            sqlite3_finalize(st);
            sqlite3_close(db);
        }
        std::string barePath = host.home + "/bare.db";
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(barePath + suffix);
        // The closing's checkpoint is left out, as the library's connection stays open.
        sqlite3* bareDb = nullptr;
        Cost firstFloor = measure([&] {
            bareDb = openBare(barePath);
            if (sqlite3_exec(bareDb, ("BEGIN;" + schema + "COMMIT;").c_str(), nullptr, nullptr, nullptr) !=
                SQLITE_OK)
                std::printf("the floor's schema failed: %s\n", sqlite3_errmsg(bareDb));
        });
        sqlite3_close(bareDb);
        for (const char* suffix : {"", "-wal", "-shm", "-checked"}) std::filesystem::remove(path + suffix);
        Cost firstStart = startLibrary(host);
        double firstStartFloor = tierFloor(replayPath, lastWrites);

        // 16 MiB that no start needs to read.
        {
            sqlite3* db = openBare(path);
            sqlite3_exec(db,
                         "CREATE TABLE IF NOT EXISTS bench_filler (x BLOB); WITH RECURSIVE n(i) AS (SELECT 1 "
                         "UNION ALL SELECT i + 1 FROM n WHERE i < 4096) INSERT INTO bench_filler SELECT "
                         "randomblob(4000) FROM n",
                         nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        // The restarts' floors replay on copies of the file as each found it (closed, its log
        // checkpointed).
        auto copyOfFile = [&] {
            std::filesystem::copy_file(path, replayPath, std::filesystem::copy_options::overwrite_existing);
        };
        std::filesystem::remove(path + "-checked");
        copyOfFile();
        Cost reopening = openModule();
        double reopeningFloor = tierFloor(replayPath, lastWrites);
        std::filesystem::remove(path + "-checked");
        copyOfFile();
        Cost restart = startLibrary(host);
        double restartFloor = tierFloor(replayPath, lastWrites);
        Cost restartBareFloor = measure([&] {
            sqlite3* db = openBare(path);
            sqlite3_exec(db, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        });
        report("first start, opening", firstOpening, firstOpeningFloor, firstFloor);
        report("first start, whole", firstStart, firstStartFloor, firstFloor);
        report("restart, opening", reopening, reopeningFloor, restartBareFloor);
        report("restart, whole", restart, restartFloor, restartBareFloor);
    }
}

}  // namespace

BENCHMARK(BM_Starts)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSqliteBulkInsert)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_AccessLayerBulkInsert)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_StoreBulkSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// All benchmark files link into one program: a weak main, so that any other file's main may stand
// in for it without a clash.
__attribute__((weak)) int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
