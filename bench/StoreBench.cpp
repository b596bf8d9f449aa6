// Prepared bulk insert: 100,000 rows in one transaction through the access layer, through a
// store's prepared save, and through a bare SQLite loop, on the same file system.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/ZarnPSqLiteDb.h"
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

}  // namespace

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
