// A zarn.db that SQLite cannot use, or that another schema owns, met at start-up through the
// public entry: the library keeps running, stores again, and never loses the user's opt-out.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"

namespace zarn {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const std::string& path, const std::string& bytes, std::ios::openmode mode = std::ios::trunc) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | mode);
    out << bytes;
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string bytes(n, '\0');
    for (auto& c : bytes) c = static_cast<char>(gen());
    return bytes;
}

void exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
}

// A real database of many pages, whose pages after the first are then overwritten: the header
// still says SQLite, the content does not.
void writeCorruptPages(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    exec(db, "CREATE TABLE filler (x BLOB)");
    exec(db,
         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
         "INSERT INTO filler SELECT randomblob(900) FROM n");
    sqlite3_close(db);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4096);
    auto garbage = randomBytes(64 * 1024, 7);
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
}

// A file the library did not make: its settings table has other columns.
void writeForeignSchema(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    exec(db, "CREATE TABLE keyvalue (k TEXT, v TEXT)");
    exec(db, "INSERT INTO keyvalue VALUES ('zarn_enabled', 'disabled')");
    sqlite3_close(db);
}

int storedVersion(const std::string& path) {
    sqlite3* db = nullptr;
    int version = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT v FROM version", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            version = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return version;
}

class DamagedDatabaseTest : public test::StartedLibraryTest {
  protected:
    std::string db() { return env.path("Documents/zarn.db"); }
};

TEST_F(DamagedDatabaseTest, FileOfRandomBytesIsMovedAsideWithItsLogsAndTheOptOutSurvives) {
    auto bytes = randomBytes(16 * 1024, 1);
    writeAll(db(), bytes);
    auto oldLog = randomBytes(4096, 2);
    writeAll(db() + "-wal", oldLog);
    writeAll(db() + "-shm", randomBytes(4096, 3));

    initialize();
    // A fresh file: the first start enables as configured.
    EXPECT_EQ(broadcasts(), (std::vector<std::string>{"Zarn_Initialized", "Zarn_Enabled"}));
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), 1);
    EXPECT_EQ(readAll(db() + ".damaged"), bytes);
    // SQLite may drop a log it cannot use, but none may stay beside the new file.
    EXPECT_NE(readAll(db() + "-wal").substr(0, oldLog.size()), oldLog);
    EXPECT_EQ(storedVersion(db()), 22);

    ZarnBase::disable();
    env.runUntilIdle();
    restart();
    initialize(/*enableOnFirstRun=*/true);
    EXPECT_EQ(broadcasts(), (std::vector<std::string>{"Zarn_Initialized"}));
    EXPECT_FALSE(ZarnBase::isEnabled());
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), 1);  // the new file is not moved again
}

TEST_F(DamagedDatabaseTest, ValidHeaderOverCorruptPagesIsFoundAndStartedAnew) {
    writeCorruptPages(db());
    initialize();
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Database at"), 1);
    EXPECT_TRUE(std::filesystem::exists(db() + ".damaged"));
    EXPECT_EQ(storedVersion(db()), 22);
    ZarnBase::disable();
    env.runUntilIdle();
    restart();
    initialize(/*enableOnFirstRun=*/true);
    EXPECT_FALSE(ZarnBase::isEnabled());
}

TEST_F(DamagedDatabaseTest, SettingsTableOfAnotherSchemaNeverEnablesByDefault) {
    writeForeignSchema(db());
    initialize(/*enableOnFirstRun=*/true);
    // Its "zarn_enabled" cannot be read, so it may be an opt-out: the library stays off.
    EXPECT_EQ(broadcasts(), (std::vector<std::string>{"Zarn_Initialized"}));
    EXPECT_FALSE(ZarnBase::isEnabled());
    EXPECT_TRUE(env.consoleContains("The settings cannot be read; not enabling by default"));
    // The app may still enable explicitly.
    ZarnBase::enable();
    env.runUntilIdle();
    EXPECT_TRUE(ZarnBase::isEnabled());
}

TEST_F(DamagedDatabaseTest, NewerSchemaIsLoggedAndKeptAtItsVersion) {
    initialize();
    restart();
    {
        sqlite3* handle = nullptr;
        ASSERT_EQ(sqlite3_open(db().c_str(), &handle), SQLITE_OK);
        exec(handle, "UPDATE version SET v = 99");
        sqlite3_close(handle);
    }
    initialize();
    EXPECT_TRUE(env.consoleContains("Database version 99 is newer than 22"));
    EXPECT_EQ(storedVersion(db()), 99);
    // Its settings are still read: the enabled state stored before holds.
    EXPECT_TRUE(ZarnBase::isEnabled());
}

}  // namespace
}  // namespace zarn
