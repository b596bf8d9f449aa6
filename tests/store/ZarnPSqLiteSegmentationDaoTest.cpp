#include "store/ZarnPSqLiteSegmentationDao.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "store/ZarnPCommitGroup.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/ZarnPTransaction.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

using Values = std::map<std::string, std::string>;

class SegmentationStoresTest : public ::testing::Test {
  protected:
    void open() {
        db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        values = std::make_shared<ZarnPSqLiteSegmentationDao>(db);
        history = std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db);
        ASSERT_TRUE(db->database());
    }
    void close() {
        values.reset();
        history.reset();
        db.reset();
    }
    void writeOldFile(int version, const std::string& sql) {
        ASSERT_EQ(test::writeOldFile(path, version, sql), std::nullopt);
    }
    static ZarnPSegmentationProperty rule(const std::string& id, std::optional<int32_t> interval) {
        return ZarnPSegmentationProperty(id, id, ZarnPSegmentationOperatorGreaterThan,
                                         ZarnPSegmentationPropertyTypeCampaignHistory, interval, 1);
    }
    void record(const std::string& id, int64_t time) { history->saveSegmentationIdsTrigger({id}, time); }

    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteSegmentationDao> values;
    std::shared_ptr<ZarnPSqLiteSegmentationHistoryDao> history;
};

TEST_F(SegmentationStoresTest, ValueRules) {
    open();
    const std::string changed =
        "INFO|SegmentationDao| Segmentation key s_tier value changed from gold to silver";
    values->setSegmentationValue("gold", "s_tier", false);
    values->setSegmentationValue("gold", "s_tier", false);
    EXPECT_FALSE(env.consoleContains("value changed"));
    values->setSegmentationValue("silver", "s_tier", false);
    EXPECT_EQ(env.consoleCount(changed), 1);
    EXPECT_EQ(values->getPropertyValue("s_tier"), "silver");

    // The flag follows the last write: the service's value is then cleared with the service's.
    values->setSegmentationValue("7", "i_age", false);
    values->setSegmentationValue("8", "i_age", true);
    values->setSegmentationValue("x", "s_server", true);
    EXPECT_EQ(values->getSegmentationProperties(),
              (Values{{"s_tier", "silver"}, {"i_age", "8"}, {"s_server", "x"}}));
    values->clearServerSideSegmentationValues();
    EXPECT_EQ(values->getSegmentationProperties(), (Values{{"s_tier", "silver"}}));

    // An empty or absent value removes the key, whoever set it.
    values->setSegmentationValue("", "s_tier", true);
    EXPECT_EQ(values->getPropertyValue("s_tier"), std::nullopt);
    values->setSegmentationValue("a", "s_a", false);
    values->setSegmentationValue(std::nullopt, "s_a", false);
    EXPECT_TRUE(values->getSegmentationProperties().empty());

    // A value without a key is skipped: no NULL or empty key is ever stored.
    values->setSegmentationValue("orphan", "", true);
    values->setSegmentationValue("orphan", std::nullopt, true);
    EXPECT_EQ(env.consoleCount("INFO|SegmentationDao| Skipping segmentation value orphan without a key"), 2);
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM set_segmentation_property"), 0);

    values->setSegmentationValue("1", "b_x", false);
    values->setSegmentationValue("2", "b_y", true);
    values->clearSegmentationValues();
    EXPECT_TRUE(values->getSegmentationProperties().empty());

    // Failures are logged, never raised; reads answer nothing.
    raw.exec("DROP TABLE set_segmentation_property");
    values->setSegmentationValue("v", "s_k", false);
    EXPECT_TRUE(env.consoleContains("ERROR|SegmentationDao| Failed to update segment property"));
    values->clearSegmentationValues();
    EXPECT_TRUE(env.consoleContains("ERROR|SegmentationDao| Failed to clear segment properties"));
    EXPECT_EQ(values->getPropertyValue("s_k"), std::nullopt);
    EXPECT_TRUE(values->getSegmentationProperties().empty());
}

TEST_F(SegmentationStoresTest, MigrationsKeepValuesFromVersion18AndDropOlderOnes) {
    const std::string oldTables =
        "CREATE TABLE set_segmentation_property (\"key\" VARCHAR(255) PRIMARY KEY, value VARCHAR(255));"
        "INSERT INTO set_segmentation_property VALUES ('s_tier', 'gold');"
        "CREATE TABLE notification_segmentation_history (segmentation_id TEXT NOT NULL,timestamp INTEGER NOT "
        "NULL,PRIMARY KEY(segmentation_id, timestamp));"
        "INSERT INTO notification_segmentation_history VALUES ('seg', 100);";
    struct Case {
        int version;
        Values expected;
    };
    for (const Case& c : {Case{17, {}}, Case{18, {{"s_tier", "gold"}}}}) {
        SCOPED_TRACE(c.version);
        std::filesystem::remove(path);
        writeOldFile(c.version, oldTables);
        open();
        EXPECT_EQ(values->getSegmentationProperties(), c.expected);
        // Rows that survive came from the app; the history survives either way.
        values->clearServerSideSegmentationValues();
        EXPECT_EQ(values->getSegmentationProperties(), c.expected);
        EXPECT_EQ(history->findSegmentationHistoryCount({rule("seg", 0)}, 50),
                  (ZarnPSegmentationHistoryCounts{{{"seg", 0}, 1}}));
        values->setSegmentationValue("1", "i_n", true);
        EXPECT_EQ(values->getPropertyValue("i_n"), "1");
        close();
    }
    // A file at the current version keeps both flags as they are.
    open();
    values->clearServerSideSegmentationValues();
    EXPECT_EQ(values->getSegmentationProperties(), (Values{{"s_tier", "gold"}}));
}

TEST_F(SegmentationStoresTest, HistoryCountsEachIdNewerThanItsIntervalBeforeTheStart) {
    open();
    const int64_t start = 1'000'000;
    for (int64_t t : {start - 3600, start - 3599, start - 61, start - 60, start - 59, start})
        for (const char* id : {"a", "b"}) record(id, t);
    record("a", start - 59);  // the same second again: one row
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM notification_segmentation_history"), 12);

    struct Case {
        std::vector<ZarnPSegmentationProperty> rules;
        ZarnPSegmentationHistoryCounts expected;
    };
    const std::vector<Case> cases = {
        {{}, {}},
        // Rows exactly at start - interval do not count.
        {{rule("a", 60), rule("b", 3600)}, {{{"a", 60}, 2}, {{"b", 3600}, 5}}},
        // Two rules on one id with different periods each get their own count.
        {{rule("a", 60), rule("a", 3600), rule("a", 60)}, {{{"a", 60}, 2}, {{"a", 3600}, 5}}},
        // No interval counts what lies after the start; an id without rows is absent.
        {{rule("a", std::nullopt), rule("none", 60)}, {}},
        {{rule("b", 100000)}, {{{"b", 100000}, 6}}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(history->findSegmentationHistoryCount(cases[i].rules, start), cases[i].expected);
    }
    auto counts = history->findSegmentationHistoryCount({rule("a", 60)}, start);
    EXPECT_EQ(ZarnPSegmentationHistoryDao::countForRule(counts, rule("a", 60)), 2);
    EXPECT_EQ(ZarnPSegmentationHistoryDao::countForRule(counts, rule("a", 61)), 0);

    raw.exec("DROP TABLE notification_segmentation_history");
    EXPECT_TRUE(history->findSegmentationHistoryCount({rule("a", 60)}, start).empty());
}

TEST_F(SegmentationStoresTest, HistoryCountRunsPastTheCompoundSelectLimit) {
    open();
    // Rule i counts id i % 700 over i seconds; id k holds k % 4 + 1 rows, one per second before 0.
    {
        test::RawSqlite raw(path);
        ASSERT_TRUE(raw.exec("BEGIN"));
        for (int k = 0; k < 700; ++k)
            for (int r = 0; r <= k % 4; ++r)
                raw.exec("INSERT INTO notification_segmentation_history VALUES ('id" + std::to_string(k) +
                         "', " + std::to_string(-1 - r) + ")");
        ASSERT_TRUE(raw.exec("COMMIT"));
    }
    for (size_t n : {size_t{499}, size_t{500}, size_t{501}, size_t{1201}}) {
        SCOPED_TRACE(n);
        std::vector<ZarnPSegmentationProperty> rules;
        ZarnPSegmentationHistoryCounts expected;
        for (size_t i = 0; i < n; ++i) {
            int k = static_cast<int>(i % 700);
            int32_t interval = static_cast<int32_t>(i % 3 + 1);  // counts rows newer than -interval
            rules.push_back(rule("id" + std::to_string(k), interval));
            int rows = std::min(k % 4 + 1, interval - 1);
            if (rows > 0)
                expected[{"id" + std::to_string(k), interval}] = rows;
        }
        EXPECT_EQ(history->findSegmentationHistoryCount(rules, 0), expected);
    }
}

TEST_F(SegmentationStoresTest, RecordingJoinsTheCallersTransactionAndUndoesItsOwnOnFailure) {
    open();
    auto connection = db->database();
    {
        ZarnPTransaction outer(connection, ZarnPDurability::Normal);
        history->saveSegmentationIdsTrigger({"x", "y"}, 5);
        EXPECT_TRUE(connection->hasOpenTransaction());  // neither committed nor ended
        outer.rollback();
    }
    EXPECT_TRUE(history->findSegmentationHistoryCount({rule("x", 10)}, 0).empty());

    history->saveSegmentationIdsTrigger({"x", "y"}, 5);
    EXPECT_FALSE(connection->hasOpenTransaction());
    EXPECT_TRUE(env.consoleContains(
        "DEBUG|ZarnPSqLiteSegmentationHistoryDao| Saving segmentationId trigger for id y at 5"));

    test::RawSqlite(path).exec(
        "CREATE TRIGGER refuse BEFORE INSERT ON notification_segmentation_history WHEN NEW.segmentation_id = "
        "'bad' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    EXPECT_THROW(history->saveSegmentationIdsTrigger({"z", "bad"}, 6), ZarnPDatabaseException);
    EXPECT_FALSE(connection->hasOpenTransaction());
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM notification_segmentation_history"), 2);  // z was undone
    history->saveSegmentationIdsTrigger({"z"}, 6);  // and the next write begins afresh
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM notification_segmentation_history"), 3);

    // Inside a run's commit group a failing recording undoes only its own rows.
    {
        ZarnPCommitGroup run(db, ZarnPDurability::Normal, "Test");
        history->saveSegmentationIdsTrigger({"w"}, 7);
        EXPECT_THROW(history->saveSegmentationIdsTrigger({"v", "bad"}, 7), ZarnPDatabaseException);
        EXPECT_TRUE(connection->hasOpenTransaction());
    }
    EXPECT_EQ(raw.text("SELECT group_concat(segmentation_id) FROM notification_segmentation_history WHERE "
                       "timestamp = 7"),
              "w");
}

}  // namespace
}  // namespace zarn
