#include "store/ZarnPSqLiteDb.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <thread>

#include "store/ZarnPCommitGroup.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/ZarnPSqliteDaoUtils.h"
#include "store/ZarnPTransaction.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "testing/SyncCountingVfs.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/ForwardingFileSystem.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

// Records the versions it is migrated from; creates its table below version 5.
template <int Tag>
class RecordingDao : public ZarnPSqLiteDao {
  public:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;
    void createOrUpdate(int version) override {
        versions.push_back(version);
        if (version < 5)
            database()->executeUpdate("CREATE TABLE IF NOT EXISTS recorded" + std::to_string(Tag) + " (x)");
    }
    std::vector<int> versions;
};
using FirstDao = RecordingDao<1>;
using SecondDao = RecordingDao<2>;

// A migration that fails half way through its own transaction, without a guard.
class FailingDao : public ZarnPSqLiteDao {
  public:
    FailingDao(std::shared_ptr<ZarnPSqLiteDb> db, bool fail) : ZarnPSqLiteDao(std::move(db)), fail_(fail) {}
    void createOrUpdate(int version) override {
        versions.push_back(version);
        if (!fail_)
            return;
        database()->beginTransaction();
        executeUpdate("CREATE TABLE half (x)");
        executeUpdate("INSERT INTO nowhere VALUES (1)");
    }
    std::vector<int> versions;

  private:
    bool fail_;
};

// Migrates with what a test gives it and needs the tables it is given.
class ScriptedDao : public ZarnPSqLiteDao {
  public:
    ScriptedDao(std::shared_ptr<ZarnPSqLiteDb> db, std::function<void(ZarnPDatabase&, int)> migrate,
                std::vector<TableShape> shapes = {})
        : ZarnPSqLiteDao(std::move(db)), migrate_(std::move(migrate)), shapes_(std::move(shapes)) {}
    void createOrUpdate(int version) override {
        if (migrate_)
            migrate_(*database(), version);
    }
    std::vector<TableShape> tableShapes() const override { return shapes_; }

  private:
    std::function<void(ZarnPDatabase&, int)> migrate_;
    std::vector<TableShape> shapes_;
};

// A table with a 64-bit id counter and a prepared insert, and the error rule in reach.
class RowDao : public ZarnPSqLiteDao {
  public:
    explicit RowDao(std::shared_ptr<ZarnPSqLiteDb> db) : ZarnPSqLiteDao(std::move(db)) {
        setTableName("rows");
    }
    void createOrUpdate(int version) override {
        if (version < 22)
            database()->executeUpdate("CREATE TABLE rows (id INTEGER PRIMARY KEY, name TEXT NOT NULL)");
    }
    int64_t save(const std::optional<std::string>& name) {
        prepareForSaveIfNotPrepared("INSERT INTO rows(id, name) VALUES (?, ?)");
        int64_t id = nextSavedId();
        auto connection = database();
        connection->bindLong(*savePreparedStatement(), 1, id);
        connection->bindString(*savePreparedStatement(), 2, name);
        executeStatement(*savePreparedStatement());
        return id;
    }
    using ZarnPSqLiteDao::commit;
    using ZarnPSqLiteDao::database;
    using ZarnPSqLiteDao::executeUpdate;
    using ZarnPSqLiteDao::executeUpdateWithParameterDictionary;
    using ZarnPSqLiteDao::setErrorOnError;
    using ZarnPSqLiteDao::throwDbExceptionIfNeeded;
};

// Forwards to the test's file system and records which files lost their protection.
class RecordingFileSystem final : public test::ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    bool setProtectionNone(const std::string& p) override {
        protectedNone.push_back(p);
        return ForwardingFileSystem::setProtectionNone(p);
    }
    std::vector<std::string> protectedNone;
};

class ZarnPSqLiteDbTest : public ::testing::Test {
  protected:
    std::shared_ptr<ZarnPSqLiteDb> makeDb(bool checkThread = false) {
        auto db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
        if (!checkThread)
            db->disableThreadCheck();
        db->setOpenRetryDelay(std::chrono::milliseconds(0));
        db->setOpenBackOff(std::chrono::milliseconds(0));
        return db;
    }

    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
};

TEST_F(ZarnPSqLiteDbTest, NewFileIsMigratedToTheCodesVersion) {
    auto files = std::make_shared<RecordingFileSystem>(env.fileSystem);
    auto services = platform::current();
    services.fileSystem = files;
    platform::install(services);

    auto db = makeDb();
    auto keyValue = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
    FirstDao first(db);
    auto connection = db->database();
    ASSERT_TRUE(connection);
    EXPECT_EQ(db->database(), connection);  // opened once

    EXPECT_EQ(first.versions, std::vector<int>{0});
    EXPECT_EQ(db->currentVersion(), 22);
    EXPECT_EQ(db->appVersion(), 22);
    test::RawSqlite raw(path);
    EXPECT_TRUE(raw.hasTable("version"));
    EXPECT_TRUE(raw.hasTable("keyvalue"));
    EXPECT_TRUE(raw.hasTable("recorded1"));
    EXPECT_EQ(raw.text("SELECT group_concat(v) FROM version"), "22");
    auto fk = connection->executeQuery("PRAGMA foreign_keys");
    ASSERT_TRUE(fk && fk->next());
    EXPECT_EQ(fk->intForColumnIndex(0), 1);
    // The parent folder was made, and the file lost its protection once it existed.
    EXPECT_EQ(files->protectedNone, std::vector<std::string>{path});
    EXPECT_FALSE(env.consoleContains("Failed to update file protection"));
    // Reading the version of a new file is a logged failed query.
    EXPECT_TRUE(env.consoleContains("INFO|DB| DB Error: 1 \"no such table: version\""));
}

TEST_F(ZarnPSqLiteDbTest, ReopeningAtTheCodesVersionRunsEveryMigrationWithIt) {
    {
        auto db = makeDb();
        FirstDao first(db);
        ASSERT_TRUE(db->database());
    }
    auto db = makeDb();
    FirstDao first(db);
    SecondDao second(db);
    ASSERT_TRUE(db->database());
    EXPECT_EQ(first.versions, std::vector<int>{22});
    EXPECT_EQ(second.versions, std::vector<int>{22});
    test::RawSqlite raw(path);
    EXPECT_FALSE(raw.hasTable("recorded2"));  // below 5 only
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM version"), 1);
}

TEST_F(ZarnPSqLiteDbTest, OneStorePerClassMigrates) {
    auto db = makeDb();
    FirstDao first(db);
    FirstDao duplicate(db);
    {
        // The first of a class may go before the opening: a later live one takes its place.
        SecondDao gone(db);
    }
    SecondDao stays(db);
    ASSERT_TRUE(db->database());
    EXPECT_EQ(first.versions.size(), 1u);
    EXPECT_TRUE(duplicate.versions.empty());
    EXPECT_EQ(stays.versions.size(), 1u);

    // A class first built after the opening is not migrated in this process.
    RowDao late(db);
    test::RawSqlite raw(path);
    EXPECT_FALSE(raw.hasTable("rows"));
}

TEST_F(ZarnPSqLiteDbTest, FailedMigrationIsLoggedAndRetriedAtTheNextOpening) {
    {
        auto db = makeDb();
        auto keyValue = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        FailingDao failing(db, true);
        FirstDao after(db);
        // A new file holds nothing to set aside: the opening fails and is tried again later.
        EXPECT_EQ(db->database(), nullptr);
        EXPECT_TRUE(env.consoleContains("ERROR|SqLiteDb| Failed to migrate from version 0 to 22"));
        EXPECT_TRUE(env.consoleContains("no such table: nowhere"));
        EXPECT_TRUE(env.consoleContains("ERROR|SqLiteDb| Database left at version 0"));
        EXPECT_EQ(db->currentVersion(), 0);
        // No later store ran, and nothing of those before reached the file.
        EXPECT_TRUE(after.versions.empty());
        test::RawSqlite raw(path);
        EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM sqlite_master"), 0);
        EXPECT_FALSE(std::filesystem::exists(path + ".damaged"));
    }
    auto db = makeDb();
    FailingDao fixed(db, false);
    ASSERT_TRUE(db->database());
    EXPECT_EQ(fixed.versions, std::vector<int>{0});
    EXPECT_EQ(db->currentVersion(), 22);
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.text("SELECT v FROM version"), "22");
}

// A migration either reaches the file whole, with the new version, or not at all: one that fails
// for a reason that says nothing about the file leaves it as it was for the next opening.
TEST_F(ZarnPSqLiteDbTest, MigrationThatCannotCompleteNowLeavesTheFileAsItWas) {
    const std::function<void(ZarnPDatabase&)> failures[] = {
        [](ZarnPDatabase& c) {  // a full disk
            c.executeUpdate("PRAGMA max_page_count = 2");
            c.executeUpdate("INSERT INTO made VALUES (zeroblob(100000))");
        },
        [](ZarnPDatabase& c) {  // a transaction ended half way
            c.executeUpdate("ROLLBACK");
            c.executeUpdate("CREATE TABLE leaked (x)");
        },
    };
    for (const auto& fail : failures) {
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
        ASSERT_EQ(test::writeOldFile(path, 5, "CREATE TABLE kept (x); INSERT INTO kept VALUES ('row');"),
                  std::nullopt);
        for (bool failing : {true, false}) {
            auto db = makeDb();
            ScriptedDao dao(db, [&](ZarnPDatabase& connection, int) {
                connection.executeUpdate("CREATE TABLE made (x)");
                if (failing)
                    fail(connection);
            });
            EXPECT_EQ(db->database() == nullptr, failing);
            test::RawSqlite raw(path);
            EXPECT_EQ(raw.text("SELECT v FROM version"), failing ? "5" : "22");
            EXPECT_EQ(raw.text("SELECT x FROM kept"), "row");
            EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('made', 'leaked')"),
                      failing ? 0 : 1);
        }
        EXPECT_FALSE(std::filesystem::exists(path + ".damaged"));
    }
}

TEST_F(ZarnPSqLiteDbTest, UnopenablePathLogsAndEveryStoreFailsQuietly) {
    std::filesystem::create_directories(path);  // a folder where the file should be
    auto db = makeDb();
    auto keyValue = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
    RowDao rows(db);

    EXPECT_EQ(db->database(), nullptr);
    EXPECT_EQ(env.consoleCount("INFO|DB| error opening!: 14"), 3);
    EXPECT_TRUE(env.consoleContains("ERROR|SqLiteDb| Failed to open db at " + path +
                                    " > unable to open database file"));
    // The next call tries the whole opening again.
    EXPECT_EQ(db->database(), nullptr);
    EXPECT_EQ(env.consoleCount("INFO|DB| error opening!: 14"), 6);

    EXPECT_EQ(keyValue->getPropertyValueForKey("zarn_enabled"), std::nullopt);
    keyValue->setPropertyValue("enabled", "zarn_enabled");
    EXPECT_TRUE(
        env.consoleContains("ERROR|SqLiteKeyValueDao| Failed to store value - Error Domain=Zarn Code=-3 "
                            "\"Failed to execute query\""));
    keyValue->unsetPropertyKey("zarn_enabled");
    EXPECT_TRUE(env.consoleContains("Failed to delete key"));

    try {
        rows.save("x");
        FAIL() << "a bulk insert without a connection must raise";
    } catch (const ZarnPDatabaseException& e) {
        EXPECT_EQ(e.name(), "Zarn database exception");
        EXPECT_EQ(e.reason(), "Failed to execute query");
        EXPECT_EQ(e.error(), (Error{"Zarn", -3, "Failed to execute query"}));
    }
    EXPECT_THROW(ZarnPTransaction(rows.database(), ZarnPDurability::Normal), ZarnPDatabaseException);
}

// A file SQLite cannot use (random bytes, a valid header over corrupt pages) is moved aside with
// its log files, once, and a new file takes its place; the settings and a store's prepared save
// work again. The opening finds what the header and the schema show; the corrupt pages are found
// by the later check of the whole file.
TEST_F(ZarnPSqLiteDbTest, DamagedFileIsMovedAsideAndANewOneStarted) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> damage;
        bool foundAtOpening;
    };
    const Case cases[] = {
        {"random bytes",
         [&](const std::string& p) { ASSERT_TRUE(env.fileSystem->createFile(p, std::string(4096, 'x'))); },
         true},
        {"corrupt pages",
         [&](const std::string& p) {
             {
                 test::RawSqlite raw(p);
                 ASSERT_TRUE(raw.exec("PRAGMA journal_mode=DELETE; CREATE TABLE big (v TEXT);"));
                 for (int i = 0; i < 200; ++i)
                     ASSERT_TRUE(raw.exec("INSERT INTO big VALUES (hex(randomblob(200)))"));
             }
             auto bytes = *env.fileSystem->readFile(p, SIZE_MAX);
             for (size_t i = 4096 + 8; i < bytes.size(); i += 97) bytes[i] = static_cast<char>(0xA5);
             ASSERT_TRUE(env.fileSystem->createFile(p, bytes));
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        std::filesystem::remove(path + ".damaged");
        c.damage(path);
        ASSERT_TRUE(env.fileSystem->createFile(path + "-wal", "stale log"));
        int before = env.consoleCount("is damaged");
        auto db = makeDb();
        auto keyValue = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        RowDao rows(db);
        ASSERT_TRUE(db->database());
        if (!c.foundAtOpening) {
            EXPECT_EQ(env.consoleCount("is damaged"), before);
            rows.save("on the damaged file");
            db->checkWholeFileIfDue(env.time->now());
        }
        EXPECT_EQ(env.consoleCount("is damaged"), before + 1);
        EXPECT_TRUE(env.consoleContains("moved to " + path + ".damaged and started anew"));
        EXPECT_TRUE(std::filesystem::exists(path + ".damaged"));
        // The stale log went with the damaged file, so nothing replays it into the new one.
        EXPECT_NE(env.fileSystem->readFile(path + "-wal", SIZE_MAX).value_or(""), "stale log");
        EXPECT_EQ(db->currentVersion(), 22);
        keyValue->setPropertyValue("disabled", "zarn_enabled");
        EXPECT_EQ(keyValue->getPropertyValueForKey("zarn_enabled"), "disabled");
        EXPECT_TRUE(keyValue->isReadable());
        EXPECT_NO_THROW(rows.save("on the new file"));
        EXPECT_EQ(test::RawSqlite(path).integer("SELECT COUNT(*) FROM rows WHERE name = 'on the new file'"),
                  1);
    }
}

// A new file costs the log's switch and one commit; reopening it commits nothing and reads the
// header and the schema, not the tables. The whole file is read by the later check, at most once
// a day, across restarts.
TEST_F(ZarnPSqLiteDbTest, OpeningReadsNoTablePageAndTheWholeFileIsReadOnceADay) {
    auto& vfs = test::SyncCountingVfs::install();
    auto start = [&] {
        auto db = makeDb();
        auto keyValue = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        vfs.reset();
        EXPECT_TRUE(db->database());
        return std::make_pair(db, keyValue);
    };
    {
        auto fresh = start();
        EXPECT_LE(vfs.syncs(), 5u);
    }
    ASSERT_TRUE(test::RawSqlite(path).exec(
        "CREATE TABLE filler (x BLOB); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
        "i < 400) INSERT INTO filler SELECT randomblob(3000) FROM n"));

    auto first = start();
    EXPECT_EQ(vfs.syncs(), 0u);
    EXPECT_LT(vfs.databaseReads(), 10u);
    vfs.reset();
    first.first->checkWholeFileIfDue(env.time->now());
    EXPECT_GT(vfs.databaseReads(), 400u);

    env.advanceBy(23 * 3600);
    auto second = start();
    second.first->checkWholeFileIfDue(env.time->now());
    EXPECT_LT(vfs.databaseReads(), 10u);
    env.advanceBy(3600);
    second.first->checkWholeFileIfDue(env.time->now());
    EXPECT_GT(vfs.databaseReads(), 400u);
    EXPECT_EQ(vfs.syncs(), 0u);
    EXPECT_FALSE(env.consoleContains("is damaged"));
}

// A file of a newer library keeps its version and is not migrated.
TEST_F(ZarnPSqLiteDbTest, NewerSchemaIsNeitherMigratedNorDowngraded) {
    {
        std::filesystem::create_directories(env.path("Documents"));
        test::RawSqlite raw(path);
        ASSERT_TRUE(raw.exec("CREATE TABLE version (v INTEGER); INSERT INTO version VALUES (99);"));
    }
    auto db = makeDb();
    FirstDao recording(db);
    ASSERT_TRUE(db->database());
    EXPECT_TRUE(recording.versions.empty());
    EXPECT_EQ(db->currentVersion(), 99);
    EXPECT_TRUE(env.consoleContains("ERROR|SqLiteDb| Database version 99 is newer than 22"));
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.text("SELECT v FROM version"), "99");
}

// A store that needs a table no migration makes fails every opening, yet a file without tables is
// never set aside: there is nothing in it to keep.
TEST_F(ZarnPSqLiteDbTest, NewFileLackingATableIsNotSetAside) {
    auto db = makeDb();
    ScriptedDao needy(db, nullptr, {{"never_made", "x"}});
    for (int opening = 0; opening < 2; ++opening) EXPECT_EQ(db->database(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(path + ".damaged"));
    EXPECT_EQ(env.consoleCount("Database left at version 0"), 2);
}

// A CREATE that fails without raising is a failed step: the version is not stored.
TEST_F(ZarnPSqLiteDbTest, QuietlyFailedStatementFailsTheMigration) {
    class QuietlyFailingDao : public ZarnPSqLiteDao {
      public:
        using ZarnPSqLiteDao::ZarnPSqLiteDao;
        bool fail = true;
        void createOrUpdate(int) override {
            database()->executeUpdate(fail ? "CREATE TABLE broken (" : "CREATE TABLE fixed (v TEXT)");
        }
    };
    {
        auto db = makeDb();
        QuietlyFailingDao dao(db);
        EXPECT_EQ(db->database(), nullptr);
        EXPECT_EQ(db->currentVersion(), 0);
        EXPECT_TRUE(env.consoleContains("A statement failed while migrating from version 0 to 22"));
    }
    auto db = makeDb();
    QuietlyFailingDao dao(db);
    dao.fail = false;
    ASSERT_TRUE(db->database());
    EXPECT_EQ(db->currentVersion(), 22);
}

// The whole migration of a new file is one commit, however many stores make tables.
TEST_F(ZarnPSqLiteDbTest, NewFileIsMigratedInOneCommit) {
    auto& vfs = test::SyncCountingVfs::install();
    uint64_t syncs[2];
    for (int stores : {0, 1}) {
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
        auto db = makeDb();
        std::optional<FirstDao> first;
        std::optional<SecondDao> second;
        if (stores) {
            first.emplace(db);
            second.emplace(db);
        }
        uint64_t before = vfs.syncs();
        EXPECT_TRUE(db->database());
        syncs[stores] = vfs.syncs() - before;
    }
    EXPECT_EQ(syncs[1], syncs[0]);
}

// After the tries of one opening fail, later calls fail at once until the back-off has passed;
// the unreadable settings say so.
TEST_F(ZarnPSqLiteDbTest, UnopenableFileBacksOffInsteadOfRetryingEveryCall) {
    std::filesystem::create_directories(path);
    auto db = makeDb();
    db->setOpenBackOff(std::chrono::hours(1));
    auto keyValue = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(db->database(), nullptr);
    EXPECT_FALSE(keyValue->isReadable());
    EXPECT_EQ(env.consoleCount("Failed to open db at"), 1);
    db->setOpenBackOff(std::chrono::milliseconds(0));
    EXPECT_EQ(db->database(), nullptr);
    EXPECT_EQ(env.consoleCount("Failed to open db at"), 2);
    std::filesystem::remove(path);
    ASSERT_TRUE(db->database());
    EXPECT_TRUE(keyValue->isReadable());
}

TEST_F(ZarnPSqLiteDbTest, OpeningOnTheMainThreadIsLogged) {
    {
        auto db = makeDb(true);
        ASSERT_TRUE(db->database());
        EXPECT_EQ(env.consoleCount("ERROR|SqLiteDb| Initializing DB from main thread!"), 1);
        db->database();
        EXPECT_EQ(env.consoleCount("Initializing DB from main thread!"), 1);  // only when opening
    }
    {
        auto db = makeDb(false);
        ASSERT_TRUE(db->database());
    }
    {
        auto db = makeDb(true);
        std::thread sdk([&] { db->database(); });
        sdk.join();
        ASSERT_TRUE(db->database());
    }
    EXPECT_EQ(env.consoleCount("Initializing DB from main thread!"), 1);
}

TEST_F(ZarnPSqLiteDbTest, IdCounterStartsAfterTheHighestIdAndIs64Bit) {
    auto db = makeDb();
    RowDao rows(db);
    ASSERT_TRUE(db->database());
    EXPECT_EQ(rows.lastSavedId(), -1);
    EXPECT_EQ(rows.save("a"), 1);  // empty table: MAX(id) reads 0
    EXPECT_EQ(rows.save("b"), 2);
    EXPECT_TRUE(rows.preparedForSave());

    const int64_t high = int64_t(1) << 40;
    rows.executeUpdate("INSERT INTO rows (id, name) VALUES (?, 'high')", high);
    RowDao fresh(db);
    EXPECT_EQ(fresh.save("c"), high + 1);
    // The counter is read once per store object, not after later changes.
    rows.executeUpdate("DELETE FROM rows");
    EXPECT_EQ(fresh.save("d"), high + 2);

    // A failing row raises and leaves the statement ready for the next one.
    EXPECT_THROW(fresh.save(std::nullopt), ZarnPDatabaseException);
    EXPECT_EQ(fresh.save("e"), high + 4);
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.text("SELECT group_concat(name) FROM (SELECT name FROM rows ORDER BY id)"), "d,e");
}

TEST_F(ZarnPSqLiteDbTest, ErrorRuleOfTheStores) {
    auto db = makeDb();
    RowDao rows(db);
    ASSERT_TRUE(db->database());

    Error error;
    EXPECT_FALSE(rows.setErrorOnError(&error, true));
    EXPECT_EQ(error, Error{});
    EXPECT_TRUE(rows.setErrorOnError(&error, false));
    EXPECT_EQ(error, (Error{"Zarn", -3, "Failed to execute query"}));
    EXPECT_TRUE(rows.setErrorOnError(nullptr, false));

    // The connection's own error wins.
    EXPECT_FALSE(rows.database()->executeUpdate("INSERT INTO rows (id) VALUES (1)"));
    Error own;
    EXPECT_TRUE(rows.setErrorOnError(&own));
    EXPECT_EQ(own.domain, "ZarnPDatabase");
    EXPECT_EQ(own.code, SQLITE_CONSTRAINT);
    EXPECT_EQ(own.message, "NOT NULL constraint failed: rows.name");

    EXPECT_NO_THROW(rows.throwDbExceptionIfNeeded(std::optional<Error>{}));
    EXPECT_THROW(rows.executeUpdateWithParameterDictionary("INSERT INTO rows (id) VALUES (:id)", {{"id", 1}}),
                 ZarnPDatabaseException);
    EXPECT_THROW(rows.commit(), ZarnPDatabaseException);  // no transaction
    EXPECT_NO_THROW(rows.executeUpdate("INSERT INTO rows (id, name) VALUES (?, ?)", 1, "ok"));
}

TEST_F(ZarnPSqLiteDbTest, TransactionGuardRollsBackUnlessCommitted) {
    auto db = makeDb();
    RowDao rows(db);
    auto connection = db->database();
    ASSERT_TRUE(connection);

    try {
        ZarnPTransaction transaction(connection, ZarnPDurability::Normal);
        rows.executeUpdate("INSERT INTO rows (id, name) VALUES (1, 'lost')");
        rows.executeUpdate("INSERT INTO rows (id, name) VALUES (1, 'clash')");
        transaction.commit();
        FAIL() << "the second insert must raise";
    } catch (const ZarnPDatabaseException&) {
    }
    EXPECT_FALSE(connection->inTransaction());
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM rows"), 0);

    {
        ZarnPTransaction outer(connection, ZarnPDurability::Normal);
        {
            // Joins the outer one: its commit is the outer one's to make.
            ZarnPTransaction inner(connection, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
            EXPECT_FALSE(inner.ownsTransaction());
            rows.executeUpdate("INSERT INTO rows (id, name) VALUES (2, 'kept')");
            inner.commit();
        }
        EXPECT_TRUE(connection->inTransaction());
        EXPECT_THROW(ZarnPTransaction nested(connection, ZarnPDurability::Normal), ZarnPDatabaseException);
        EXPECT_TRUE(connection->inTransaction());
        outer.commit();
    }
    EXPECT_FALSE(connection->inTransaction());
    EXPECT_EQ(raw.text("SELECT name FROM rows"), "kept");

    // A transaction begun without the connection's flag is joined too, never nested.
    ASSERT_TRUE(connection->executeUpdate("BEGIN"));
    {
        ZarnPTransaction joined(connection, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        EXPECT_FALSE(joined.ownsTransaction());
    }
    EXPECT_TRUE(connection->hasOpenTransaction());
    ASSERT_TRUE(connection->executeUpdate("ROLLBACK"));
}

TEST_F(ZarnPSqLiteDbTest, CommitGroupSyncsARunOnceEvenWhenTheRunThrows) {
    auto& vfs = test::SyncCountingVfs::install();  // before the file opens
    auto db = makeDb();
    RowDao rows(db);
    ASSERT_TRUE(db->database());
    uint64_t before = vfs.walSyncs();
    try {
        ZarnPCommitGroup run(db, ZarnPDurability::Full, "Test");
        rows.executeUpdate("INSERT INTO rows (id, name) VALUES (1, 'a')");
        {
            ZarnPCommitGroup nested(db, ZarnPDurability::Normal, "Test");  // joins
            rows.executeUpdate("INSERT INTO rows (id, name) VALUES (2, 'b')");
        }
        EXPECT_EQ(vfs.walSyncs(), before);
        // What the run wrote is committed, as the stores would have one by one.
        throw std::runtime_error("the run fails");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(vfs.walSyncs() - before, 1u);
    EXPECT_EQ(test::RawSqlite(path).integer("SELECT COUNT(*) FROM rows"), 2);
}

TEST_F(ZarnPSqLiteDbTest, FileRunsInWriteAheadLogModeWithFullSyncAndStaysReadableAsBefore) {
    {
        auto db = makeDb();
        auto keyValue = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        auto connection = db->database();
        ASSERT_TRUE(connection);
        auto sync = connection->executeQuery("PRAGMA synchronous");
        ASSERT_TRUE(sync && sync->next());
        EXPECT_EQ(sync->intForColumnIndex(0), 2);  // FULL
        sync.reset();
        keyValue->setPropertyValue("enabled", "zarn_enabled");
        EXPECT_TRUE(std::filesystem::exists(path + "-wal"));
        EXPECT_TRUE(std::filesystem::exists(path + "-shm"));
        // Committed rows are in the log, readable by another connection at once.
        test::RawSqlite other(path);
        EXPECT_EQ(other.text("PRAGMA journal_mode"), "wal");
        EXPECT_EQ(other.text("SELECT value FROM keyvalue WHERE key = 'zarn_enabled'"), "enabled");
    }
    // Closed: the log was folded into the file, which reads as before.
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.text("SELECT v FROM version"), "22");
    EXPECT_EQ(raw.text("SELECT value FROM keyvalue"), "enabled");
    EXPECT_FALSE(env.consoleContains("Failed to switch"));
}

TEST_F(ZarnPSqLiteDbTest, MissingParentFolderIsNotMadeSoTheOpeningFailsAndIsRetried) {
    path = env.path("gone/Documents/zarn.db");
    auto db = makeDb();
    auto keyValue = std::make_shared<ZarnPSqLiteKeyValueDao>(db);

    EXPECT_EQ(db->database(), nullptr);
    EXPECT_TRUE(env.consoleContains("ERROR|SqLiteDb| Failed to create directory"));
    EXPECT_EQ(env.consoleCount("INFO|DB| error opening!: 14"), 3);
    EXPECT_TRUE(env.consoleContains("ERROR|SqLiteDb| Failed to open db at " + path));
    EXPECT_FALSE(std::filesystem::exists(env.path("gone")));  // nothing above its own folder

    // Once the parent is there, the next call opens, making only the file's own folder.
    ASSERT_FALSE(env.fileSystem->createDirectory(env.path("gone/Documents"), false));
    ASSERT_TRUE(env.fileSystem->createDirectory(env.path("gone"), false));
    ASSERT_TRUE(db->database());
    EXPECT_EQ(env.consoleCount("Failed to create directory"), 1);
    EXPECT_EQ(db->currentVersion(), 22);
    EXPECT_TRUE(std::filesystem::is_directory(env.path("gone/Documents")));
    EXPECT_TRUE(env.fileSystem->createDirectory(env.path("deep/er/folder"), true));
}

struct PlaceholderCase {
    size_t count;
    const char* text;
};

TEST(ZarnPSqliteDaoUtilsTest, Placeholders) {
    const PlaceholderCase cases[] = {{0, ""}, {1, "?"}, {2, "?, ?"}, {3, "?, ?, ?"}};
    for (const auto& c : cases)
        EXPECT_EQ(ZarnPSqliteDaoUtils::generateParameterPlaceholders(c.count), c.text);
    EXPECT_EQ(ZarnPSqliteDaoUtils::replaceParametersInQuery("SELECT * FROM a WHERE id IN (PARAMETERS)", 2),
              "SELECT * FROM a WHERE id IN (?, ?)");
    EXPECT_EQ(ZarnPSqliteDaoUtils::replaceParametersInQuery("x IN (PARAMETERS) OR y IN (PARAMETERS)", 1),
              "x IN (?) OR y IN (?)");
    EXPECT_EQ(ZarnPSqliteDaoUtils::replaceParametersInQuery("no word", 3), "no word");
}

TEST(ZarnPSqliteDaoUtilsTest, QuotedIdsAreSqlLiterals) {
    EXPECT_EQ(ZarnPSqliteDaoUtils::quoteAndJoinIds(std::vector<std::string>{"a", "b"}), "'a','b'");
    EXPECT_EQ(ZarnPSqliteDaoUtils::quoteAndJoinIds(std::vector<std::string>{}), "");
    EXPECT_EQ(ZarnPSqliteDaoUtils::quoteAndJoinIds(std::vector<std::string>{"a", "b"}, " | "), "'a' | 'b'");
    EXPECT_EQ(ZarnPSqliteDaoUtils::quoteAndJoinIds(std::vector<std::string>{"o'neil"}), "'o''neil'");

    // An id from the service can only ever match itself.
    test::TestEnvironment env;
    auto db = ZarnPDatabase::databaseWithPath(std::nullopt);
    ASSERT_TRUE(db->openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
    ASSERT_TRUE(db->executeUpdate("CREATE TABLE ids (id TEXT)"));
    ASSERT_TRUE(db->executeUpdate("INSERT INTO ids VALUES ('o''neil'), ('plain')"));
    auto count = [&](const std::vector<std::string>& ids) {
        auto rs = db->executeQuery("SELECT COUNT(*) FROM ids WHERE id IN (" +
                                   ZarnPSqliteDaoUtils::quoteAndJoinIds(ids) + ")");
        return rs && rs->next() ? rs->intForColumnIndex(0) : -1;
    };
    EXPECT_EQ(count({"o'neil"}), 1);
    EXPECT_EQ(count({"x') OR ('1'='1"}), 0);
    EXPECT_EQ(count({"plain", "x'); DROP TABLE ids; --"}), 1);
}

}  // namespace
}  // namespace zarn
