#include "store/ZarnPDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <limits>

#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

class ZarnPDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = env.path("layer.db");
        db = ZarnPDatabase::databaseWithPath(path);
        ASSERT_TRUE(db->openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
        // No declared type: every value keeps the storage class it was bound with.
        ASSERT_TRUE(db->executeUpdate("CREATE TABLE t (id INTEGER PRIMARY KEY, v, w)"));
    }

    // typeof(v) and v as text of the single row.
    std::pair<std::string, std::optional<std::string>> stored() {
        auto rs = db->executeQuery("SELECT typeof(v), v FROM t");
        EXPECT_TRUE(rs && rs->next());
        return {rs->stringForColumnIndex(0).value_or(""), rs->stringForColumnIndex(1)};
    }

    test::TestEnvironment env;
    std::string path;
    std::shared_ptr<ZarnPDatabase> db;
};

struct BindCase {
    const char* name;
    ZarnPSqlValue value;
    const char* type;
    std::optional<std::string> text;
};

TEST_F(ZarnPDatabaseTest, EveryValueBindsByItsRuleByPositionAndByName) {
    const BindCase cases[] = {
        {"null", ZarnPSqlValue(nullptr), "null", std::nullopt},
        {"absent", ZarnPSqlValue(std::optional<std::string>{}), "null", std::nullopt},
        {"null char pointer", ZarnPSqlValue(static_cast<const char*>(nullptr)), "null", std::nullopt},
        {"true", ZarnPSqlValue(true), "integer", "1"},
        {"false", ZarnPSqlValue(false), "integer", "0"},
        {"int", ZarnPSqlValue(-42), "integer", "-42"},
        {"int64 max", ZarnPSqlValue(std::numeric_limits<int64_t>::max()), "integer", "9223372036854775807"},
        {"uint64 max keeps its bits", ZarnPSqlValue(std::numeric_limits<uint64_t>::max()), "integer", "-1"},
        {"float", ZarnPSqlValue(1.5f), "real", "1.5"},
        {"double", ZarnPSqlValue(2.25), "real", "2.25"},
        {"date", ZarnPSqlValue(dateWithTimeIntervalSince1970(1000.5)), "real", "1000.5"},
        {"text", ZarnPSqlValue("h\xC3\xA9llo"), "text", "h\xC3\xA9llo"},
        {"empty text", ZarnPSqlValue(std::string()), "text", ""},
        {"text with a NUL", ZarnPSqlValue(std::string("a\0b", 3)), "text", std::string("a\0b", 3)},
        {"blob", ZarnPSqlValue(ZarnPSqlBlob{std::string("a\0b", 3)}), "blob", std::string("a\0b", 3)},
        {"empty blob", ZarnPSqlValue(ZarnPSqlBlob{}), "blob", ""},
        {"json null", ZarnPSqlValue(Value()), "null", std::nullopt},
        {"json bool", ZarnPSqlValue(Value(true)), "integer", "1"},
        {"json int", ZarnPSqlValue(Value(7)), "integer", "7"},
        {"json float", ZarnPSqlValue(Value(0.5)), "real", "0.5"},
        {"json string", ZarnPSqlValue(Value("s")), "text", "s"},
        {"json object as its text", ZarnPSqlValue(Value{{"a", 1}}), "text", "{\"a\":1}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(db->executeUpdate("INSERT INTO t (v) VALUES (?)", c.value));
        auto [type, text] = stored();
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(text, c.text);
        ASSERT_TRUE(db->executeUpdate("DELETE FROM t"));

        ASSERT_TRUE(
            db->executeUpdateWithParameterDictionary("INSERT INTO t (v) VALUES (:v)", {{"v", c.value}}));
        EXPECT_EQ(stored().first, c.type);
        ASSERT_TRUE(db->executeUpdate("DELETE FROM t"));
    }
}

TEST_F(ZarnPDatabaseTest, EmptyBlobReadsBackAsEmptyDataNotNull) {
    ASSERT_TRUE(db->executeUpdate("INSERT INTO t (id, v, w) VALUES (1, ?, ?)", ZarnPSqlBlob{}, nullptr));
    auto rs = db->executeQuery("SELECT v, w FROM t");
    ASSERT_TRUE(rs && rs->next());
    EXPECT_FALSE(rs->columnIsNull("v"));
    EXPECT_EQ(rs->dataForColumn("v"), std::string());
    EXPECT_TRUE(rs->columnIsNull("w"));
    EXPECT_EQ(rs->dataForColumn("w"), std::nullopt);
}

TEST_F(ZarnPDatabaseTest, NamedParametersMatchByNameWhateverTheOrder) {
    ASSERT_TRUE(db->executeUpdateWithParameterDictionary("INSERT INTO t (id, v, w) VALUES (:id, :v, :v)",
                                                         {{"v", "twice"}, {"id", 3}}));
    auto rs = db->executeQueryWithParameterDictionary("SELECT v, w FROM t WHERE id = :id", {{"id", 3}});
    ASSERT_TRUE(rs && rs->next());
    EXPECT_EQ(rs->stringForColumn("v"), "twice");
    EXPECT_EQ(rs->stringForColumn("w"), "twice");
}

TEST_F(ZarnPDatabaseTest, ExtraDictionaryKeyIsLoggedAndIgnored) {
    EXPECT_TRUE(
        db->executeUpdateWithParameterDictionary("INSERT INTO t (v) VALUES (:v)", {{"v", 1}, {"extra", 2}}));
    EXPECT_TRUE(env.consoleContains("INFO|DB| Could not find index for extra"));
    EXPECT_EQ(stored().second, "1");
}

TEST_F(ZarnPDatabaseTest, MissingParameterFailsAndBindsNothing) {
    EXPECT_FALSE(
        db->executeUpdateWithParameterDictionary("INSERT INTO t (v, w) VALUES (:v, :w)", {{"v", 1}}));
    EXPECT_TRUE(env.consoleContains(
        "Error: the bind count (1) is not correct for the # of variables in the query (2) "
        "(INSERT INTO t (v, w) VALUES (:v, :w)) (executeUpdate)"));
    EXPECT_FALSE(db->executeUpdate("INSERT INTO t (v, w) VALUES (?, ?)", 1));
    EXPECT_EQ(db->executeQueryWithParameterDictionary("SELECT * FROM t WHERE v = :v", {}), nullptr);
    EXPECT_TRUE(
        env.consoleContains("Error: the bind count is not correct for the # of variables (executeQuery)"));
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM t"), 0);
}

TEST_F(ZarnPDatabaseTest, ExtraArrayValuesAreIgnored) {
    EXPECT_TRUE(db->executeUpdateWithParameters("INSERT INTO t (v) VALUES (?)", {1, 2, 3}));
    EXPECT_EQ(stored().second, "1");
    auto rs = db->executeQueryWithArgumentsInArray("SELECT v FROM t WHERE v = ?", {1, "unused"});
    ASSERT_TRUE(rs);
    EXPECT_TRUE(rs->next());
}

TEST_F(ZarnPDatabaseTest, TypedGettersAndNullColumns) {
    ASSERT_TRUE(
        db->executeUpdate("INSERT INTO t (id, v, w) VALUES (?, ?, NULL)", int64_t(1) << 40, 1700000000.25));
    auto rs = db->executeQuery("SELECT id, v, w, 'text' AS Label, x'00ff' AS bytes FROM t");
    ASSERT_TRUE(rs && rs->next());
    EXPECT_EQ(rs->longForColumn("id"), int64_t(1) << 40);
    EXPECT_EQ(rs->doubleForColumn("v"), 1700000000.25);
    EXPECT_EQ(rs->dateForColumn("v"), dateWithTimeIntervalSince1970(1700000000.25));
    EXPECT_TRUE(rs->boolForColumnIndex(0));           // 2^40: its low 32 bits are 0
    EXPECT_EQ(rs->stringForColumn("LABEL"), "text");  // names match without regard to case
    EXPECT_EQ(rs->dataForColumn("bytes"), std::string("\x00\xff", 2));
    // NULL reads as 0, NO or nothing.
    EXPECT_EQ(rs->intForColumn("w"), 0);
    EXPECT_EQ(rs->longForColumn("w"), 0);
    EXPECT_FALSE(rs->boolForColumn("w"));
    EXPECT_EQ(rs->doubleForColumn("w"), 0.0);
    EXPECT_EQ(rs->stringForColumn("w"), std::nullopt);
    EXPECT_EQ(rs->dateForColumn("w"), std::nullopt);
    EXPECT_EQ(rs->dataForColumn("w"), std::nullopt);
    EXPECT_TRUE(rs->columnIsNull("w"));
    EXPECT_FALSE(rs->next());
}

TEST_F(ZarnPDatabaseTest, ColumnIndexOutsideTheRowReadsAsNothing) {
    ASSERT_TRUE(db->executeUpdate("INSERT INTO t (id, v) VALUES (1, 'x')"));
    auto rs = db->executeQuery("SELECT id, v FROM t");
    ASSERT_TRUE(rs);
    // Before the first step no row is ready.
    EXPECT_EQ(rs->stringForColumnIndex(0), std::nullopt);
    ASSERT_TRUE(rs->next());
    for (int idx : {-1, -1000, 2, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        SCOPED_TRACE(idx);
        EXPECT_EQ(rs->intForColumnIndex(idx), 0);
        EXPECT_EQ(rs->longForColumnIndex(idx), 0);
        EXPECT_FALSE(rs->boolForColumnIndex(idx));
        EXPECT_EQ(rs->doubleForColumnIndex(idx), 0.0);
        EXPECT_EQ(rs->stringForColumnIndex(idx), std::nullopt);
        EXPECT_EQ(rs->dateForColumnIndex(idx), std::nullopt);
        EXPECT_EQ(rs->dataForColumnIndex(idx), std::nullopt);
        EXPECT_TRUE(rs->columnIndexIsNull(idx));
    }
    EXPECT_EQ(rs->stringForColumnIndex(1), "x");
    EXPECT_FALSE(rs->next());
    // After the last row, and after close, nothing is read.
    EXPECT_EQ(rs->stringForColumnIndex(1), std::nullopt);
    rs->close();
    rs->close();
    EXPECT_EQ(rs->intForColumnIndex(0), 0);
}

TEST_F(ZarnPDatabaseTest, UnknownColumnNameWarnsAndDuplicateNamesTakeTheLater) {
    auto rs = db->executeQuery("SELECT 1 AS a, 2 AS A");
    ASSERT_TRUE(rs && rs->next());
    EXPECT_EQ(rs->intForColumn("a"), 2);
    EXPECT_EQ(rs->stringForColumn("Missing"), std::nullopt);
    EXPECT_TRUE(env.consoleContains("INFO|DB| Warning: I could not find the column named 'missing'."));
}

TEST_F(ZarnPDatabaseTest, QueryWithoutRowsClosesItself) {
    auto rs = db->executeQuery("SELECT v FROM t");
    ASSERT_TRUE(rs);
    EXPECT_FALSE(rs->next());
    EXPECT_TRUE(rs->isClosed());
    EXPECT_FALSE(rs->next());
    rs->close();
}

TEST_F(ZarnPDatabaseTest, MissingTableLogsTheErrorQueryAndPath) {
    EXPECT_EQ(db->executeQuery("SELECT * FROM nowhere"), nullptr);
    EXPECT_TRUE(env.consoleContains("INFO|DB| DB Error: 1 \"no such table: nowhere\""));
    EXPECT_TRUE(env.consoleContains("INFO|DB| DB Query: SELECT * FROM nowhere"));
    EXPECT_TRUE(env.consoleContains("INFO|DB| DB Path: " + path));
    EXPECT_TRUE(db->hadError());
    EXPECT_EQ(db->lastErrorCode(), SQLITE_ERROR);
    Error e = db->lastError();
    EXPECT_EQ(e.domain, "ZarnPDatabase");
    EXPECT_EQ(e.code, SQLITE_ERROR);
    EXPECT_EQ(e.message, "no such table: nowhere");
}

TEST_F(ZarnPDatabaseTest, FailedStepIsReadableThroughTheErrorState) {
    ASSERT_TRUE(db->executeUpdate("INSERT INTO t (id) VALUES (1)"));
    EXPECT_FALSE(db->hadError());
    EXPECT_EQ(db->changes(), 1);
    EXPECT_FALSE(db->executeUpdate("INSERT INTO t (id) VALUES (1)"));
    EXPECT_TRUE(db->hadError());
    EXPECT_EQ(db->lastErrorCode(), SQLITE_CONSTRAINT);
    EXPECT_TRUE(env.consoleContains(
        "INFO|DB| Unknown error calling sqlite3_step (19: UNIQUE constraint failed: t.id) eu"));
    EXPECT_TRUE(env.consoleContains("INFO|DB| DB Query: INSERT INTO t (id) VALUES (1)"));
    Error prepareError;
    EXPECT_FALSE(db->executeUpdateWithError(&prepareError, "INSER nothing", nullptr, nullptr));
    EXPECT_EQ(prepareError.domain, "ZarnPDatabase");
    EXPECT_EQ(prepareError.code, SQLITE_ERROR);
}

TEST_F(ZarnPDatabaseTest, UpdateThatYieldsARowFailsWithoutStopping) {
    EXPECT_FALSE(db->executeUpdate("SELECT 1"));
    EXPECT_TRUE(
        env.consoleContains("INFO|DB| A executeUpdate is being called with a query string 'SELECT 1'"));
    // The connection stays usable.
    EXPECT_TRUE(db->executeUpdate("INSERT INTO t (v) VALUES (1)"));
}

TEST_F(ZarnPDatabaseTest, ClosedConnectionRefusesEveryCall) {
    ASSERT_TRUE(db->close());
    ASSERT_TRUE(db->close());
    EXPECT_EQ(db->executeQuery("SELECT 1"), nullptr);
    EXPECT_TRUE(env.consoleContains("INFO|DB| The ZarnPDatabase " + db->description() + " is not open."));
    EXPECT_FALSE(db->executeUpdate("INSERT INTO t (v) VALUES (1)"));
    EXPECT_FALSE(db->beginTransaction());
    EXPECT_FALSE(db->hadError());
    EXPECT_EQ(db->changes(), 0);
    std::unique_ptr<ZarnPStatement> statement;
    EXPECT_FALSE(db->prepareStatement("SELECT 1", statement));
    EXPECT_EQ(statement, nullptr);
}

TEST_F(ZarnPDatabaseTest, OpeningFailureKeepsTheMessage) {
    auto missing = ZarnPDatabase::databaseWithPath(env.path("no/such/dir/x.db"));
    EXPECT_FALSE(missing->openWithFlags(SQLITE_OPEN_READWRITE));
    EXPECT_TRUE(env.consoleContains("INFO|DB| error opening!: 14"));
    EXPECT_EQ(missing->lastErrorMessage(), "unable to open database file");
    EXPECT_FALSE(missing->isOpen());
    EXPECT_EQ(missing->executeQuery("SELECT 1"), nullptr);
    EXPECT_TRUE(env.consoleContains("is not open."));
    EXPECT_TRUE(missing->close());
}

TEST_F(ZarnPDatabaseTest, InMemoryWithoutPath) {
    auto memory = ZarnPDatabase::databaseWithPath(std::nullopt);
    ASSERT_TRUE(memory->openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
    auto rs = memory->executeQuery("SELECT ? + 1", 41);
    ASSERT_TRUE(rs && rs->next());
    EXPECT_EQ(rs->intForColumnIndex(0), 42);
}

TEST_F(ZarnPDatabaseTest, TransactionsCommitRollBackAndKeepTheFlagHonest) {
    ASSERT_TRUE(db->beginTransaction());
    EXPECT_TRUE(db->inTransaction());
    EXPECT_FALSE(db->beginTransaction());  // no nesting
    EXPECT_TRUE(db->inTransaction());
    ASSERT_TRUE(db->executeUpdate("INSERT INTO t (v) VALUES ('gone')"));
    ASSERT_TRUE(db->rollback());
    EXPECT_FALSE(db->inTransaction());
    EXPECT_FALSE(db->commit());  // nothing to commit
    EXPECT_FALSE(db->inTransaction());

    ASSERT_TRUE(db->beginTransaction());
    ASSERT_TRUE(db->executeUpdate("INSERT INTO t (v) VALUES ('kept')"));
    ASSERT_TRUE(db->commit());
    EXPECT_FALSE(db->inTransaction());
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.text("SELECT group_concat(v) FROM t"), "kept");
}

TEST_F(ZarnPDatabaseTest, TransactionIsExclusive) {
    ASSERT_TRUE(db->beginTransaction());
    test::RawSqlite other(path);
    // Readers are locked out as well as writers.
    EXPECT_FALSE(other.exec("SELECT * FROM t"));
    ASSERT_TRUE(db->commit());
    EXPECT_TRUE(other.exec("SELECT * FROM t"));
}

TEST_F(ZarnPDatabaseTest, BusyDatabaseIsRetriedABoundedNumberOfTimes) {
    db->setBusyRetryTimeout(5);
    ASSERT_TRUE(db->executeUpdate("INSERT INTO t (v) VALUES (1)"));
    test::RawSqlite other(path);
    ASSERT_TRUE(other.exec("BEGIN EXCLUSIVE"));

    EXPECT_FALSE(db->executeUpdate("INSERT INTO t (v) VALUES (2)"));
    EXPECT_TRUE(env.consoleContains("INFO|DB| Database busy"));
    EXPECT_FALSE(db->beginTransaction());
    EXPECT_FALSE(db->inTransaction());
    auto rs = db->executeQuery("SELECT v FROM t");
    EXPECT_TRUE(rs == nullptr || !rs->next());

    // A fresh connection cannot even read the schema.
    auto second = ZarnPDatabase::databaseWithPath(path);
    second->setBusyRetryTimeout(2);
    ASSERT_TRUE(second->openWithFlags(SQLITE_OPEN_READWRITE));
    EXPECT_EQ(second->executeQuery("SELECT v FROM t"), nullptr);

    ASSERT_TRUE(other.exec("COMMIT"));
    EXPECT_TRUE(db->executeUpdate("INSERT INTO t (v) VALUES (3)"));
    auto after = second->executeQuery("SELECT COUNT(*) FROM t");
    ASSERT_TRUE(after && after->next());
    EXPECT_EQ(after->intForColumnIndex(0), 2);
}

TEST_F(ZarnPDatabaseTest, PreparedInsertBindsEveryKindAndKeepsBindingsAcrossReset) {
    std::unique_ptr<ZarnPStatement> insert;
    ASSERT_TRUE(db->prepareStatement("INSERT INTO t (id, v, w) VALUES (?, ?, ?)", insert));
    db->bindLong(*insert, 1, int64_t(1) << 33);
    db->bindString(*insert, 2, std::string("it's"));
    db->bindNull(*insert, 3);
    ASSERT_TRUE(db->executeStatementAndReset(*insert));
    // The same bindings again: the primary key refuses the copy.
    EXPECT_FALSE(db->executeStatementAndReset(*insert));
    EXPECT_TRUE(db->hadError());
    EXPECT_EQ(db->lastErrorCode(), SQLITE_CONSTRAINT);

    db->bindInt(*insert, 1, 2);
    db->bindString(*insert, 2, std::optional<std::string>{});
    db->bindDouble(*insert, 3, 0.5);
    ASSERT_TRUE(db->executeStatementAndReset(*insert));
    db->bindInt(*insert, 1, 3);
    db->bindString(*insert, 2, "");
    db->bindBlob(*insert, 3, ZarnPSqlBlob{});
    ASSERT_TRUE(db->executeStatementAndReset(*insert));

    test::RawSqlite raw(path);
    EXPECT_EQ(raw.text("SELECT v || '|' || typeof(w) FROM t WHERE id = 8589934592"), "it's|null");
    EXPECT_EQ(raw.text("SELECT typeof(v) || '|' || w FROM t WHERE id = 2"), "null|0.5");
    EXPECT_EQ(raw.text("SELECT typeof(v) || '|' || typeof(w) FROM t WHERE id = 3"), "text|blob");
}

TEST_F(ZarnPDatabaseTest, PrepareFailureIsReported) {
    std::unique_ptr<ZarnPStatement> statement;
    EXPECT_FALSE(db->prepareStatement("INSERT INTO nowhere VALUES (?)", statement));
    EXPECT_EQ(statement, nullptr);
    EXPECT_TRUE(db->hadError());
}

TEST_F(ZarnPDatabaseTest, ClosingFinalizesLeakedStatementsAndOpenResultSets) {
    ASSERT_TRUE(db->executeUpdate("INSERT INTO t (v) VALUES (1), (2)"));
    std::unique_ptr<ZarnPStatement> held;
    ASSERT_TRUE(db->prepareStatement("INSERT INTO t (v) VALUES (?)", held));
    auto rs = db->executeQuery("SELECT v FROM t");
    ASSERT_TRUE(rs && rs->next());

    ASSERT_TRUE(db->close());
    EXPECT_TRUE(env.consoleContains("INFO|DB| Closing leaked statement"));
    EXPECT_FALSE(db->isOpen());
    // Both holders survive the connection and are refused.
    EXPECT_TRUE(rs->isClosed());
    EXPECT_FALSE(rs->next());
    EXPECT_EQ(held->statement(), nullptr);
    db->bindInt(*held, 1, 3);
    EXPECT_FALSE(db->executeStatementAndReset(*held));
    held.reset();
    rs.reset();
}

TEST_F(ZarnPDatabaseTest, ConnectionDestroyedWhileAStatementIsHeld) {
    std::unique_ptr<ZarnPStatement> held;
    ASSERT_TRUE(db->prepareStatement("SELECT 1", held));
    db.reset();
    EXPECT_EQ(held->statement(), nullptr);
    held->close();
}

TEST_F(ZarnPDatabaseTest, OpenResultSetKeepsItsConnection) {
    ASSERT_TRUE(db->executeUpdate("INSERT INTO t (v) VALUES (1), (2)"));
    auto rs = db->executeQuery("SELECT v FROM t ORDER BY v");
    db.reset();
    ASSERT_TRUE(rs->next());
    ASSERT_TRUE(rs->next());
    EXPECT_EQ(rs->intForColumn("v"), 2);
    EXPECT_FALSE(rs->next());
}

TEST_F(ZarnPDatabaseTest, ClosingOpenResultSetsOnRequest) {
    auto a = db->executeQuery("SELECT 1");
    auto b = db->executeQuery("SELECT 2");
    db->closeOpenResultSets();
    EXPECT_TRUE(a->isClosed());
    EXPECT_TRUE(b->isClosed());
    EXPECT_FALSE(a->next());
}

// Kept statements answer as statements prepared for the call would: with their bindings cleared,
// after a failed step, and after the schema changed on this connection or on another one.
TEST_F(ZarnPDatabaseTest, KeptStatementsAnswerAsNewOnesAfterErrorsAndSchemaChanges) {
    const std::string insert = "INSERT INTO t (id, v) VALUES (?, ?)";
    const std::string select = "SELECT * FROM t ORDER BY id";
    ASSERT_TRUE(db->executeUpdate(insert, 1, "a"));
    EXPECT_FALSE(db->executeUpdate(insert, 1, "dup"));  // a failed step
    EXPECT_EQ(db->lastErrorCode() & 0xff, SQLITE_CONSTRAINT);
    ASSERT_TRUE(db->executeUpdate(insert, 2, "b"));
    EXPECT_FALSE(db->hadError());
    // Too few values: the kept statement's old bindings do not stand in.
    EXPECT_FALSE(db->executeUpdateWithParameters(insert, {ZarnPSqlValue(3)}));
    uint64_t prepared = db->preparedStatementCount();
    for (int i = 3; i < 6; ++i) ASSERT_TRUE(db->executeUpdate(insert, i, "c"));
    ASSERT_TRUE(db->executeQuery(select));
    EXPECT_EQ(db->preparedStatementCount(), prepared + 1);  // the query, once

    // Changed here: a new column shows at once, and a dropped table fails as at its preparation.
    ASSERT_TRUE(db->executeUpdate("ALTER TABLE t ADD COLUMN x DEFAULT 'new'"));
    auto rs = db->executeQuery(select);
    ASSERT_TRUE(rs && rs->next());
    EXPECT_EQ(rs->stringForColumn("x"), "new");
    rs.reset();
    ASSERT_TRUE(db->executeUpdate("DROP TABLE t"));
    EXPECT_EQ(db->executeQuery(select), nullptr);
    EXPECT_TRUE(env.consoleContains("DB Error: 1 \"no such table: t\""));
    // Made again elsewhere, its columns in another order.
    ASSERT_TRUE(test::RawSqlite(path).exec("CREATE TABLE t (id INTEGER PRIMARY KEY, w, v)"));
    ASSERT_TRUE(db->executeUpdate(insert, 5, "e"));
    EXPECT_EQ(test::RawSqlite(path).text("SELECT v FROM t WHERE id = 5"), "e");
    EXPECT_TRUE(db->close());
    EXPECT_EQ(db->cachedStatementCount(), 0u);
    EXPECT_FALSE(env.consoleContains("Closing leaked statement"));
}

}  // namespace
}  // namespace zarn
