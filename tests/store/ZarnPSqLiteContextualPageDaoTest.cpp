// The contextual page table: the newest page wins, each run type keeps one row, relevance ends
// after 15 minutes, and a payload that no longer parses reads as absent.
#include <gtest/gtest.h>

#include "core/ZarnPSystemClockDao.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/Value.h"

namespace zarn {
namespace {

class ContextualPageDaoTest : public ::testing::Test {
  protected:
    ContextualPageDaoTest() { db->disableThreadCheck(); }
    std::optional<Error> set(const std::string& id, const std::string& type,
                             std::optional<Value> payload = std::nullopt) {
        return dao->setClosestContextualPage(id, "data-" + id, payload, Date{}, type);
    }
    int64_t rows() {
        auto rs = db->database()->executeQuery("SELECT COUNT(*) FROM closest_contextual_page");
        return rs && rs->next() ? rs->longForColumnIndex(0) : -1;
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSqLiteDb> db =
        std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/zarn.db"), platform::current().fileSystem);
    std::shared_ptr<ZarnPSqLiteContextualPageDao> dao =
        std::make_shared<ZarnPSqLiteContextualPageDao>(db, std::make_shared<ZarnPSystemClockDao>(env.time));
};

TEST_F(ContextualPageDaoTest, NewestPageWinsAndEachRunTypeKeepsOneRow) {
    EXPECT_FALSE(dao->getClosestContextualPage());
    Value payload = {{"campaign", "c1"}, {"distance", 12.5}};
    EXPECT_FALSE(set("g1", "geofence", payload));
    env.advanceBy(1);
    EXPECT_FALSE(set("b1", "beacon"));
    auto page = dao->getClosestContextualPage();
    ASSERT_TRUE(page);
    EXPECT_EQ((*page)["id"], "b1");
    EXPECT_EQ((*page)["data"], "data-b1");
    EXPECT_DOUBLE_EQ((*page)["date"].get<double>(), test::TestEnvironment::kStart + 1);
    EXPECT_FALSE(page->contains("match_payload"));

    // A geofence page replaces the geofence row: the table cannot grow without bound.
    for (int i = 0; i < 50; ++i) {
        env.advanceBy(1);
        ASSERT_FALSE(set("g" + std::to_string(i), "geofence", payload));
    }
    EXPECT_EQ(rows(), 2);
    page = dao->getClosestContextualPage();
    EXPECT_EQ((*page)["id"], "g49");
    EXPECT_EQ((*page)["match_payload"], payload);

    // A payload that is not a dictionary is refused and nothing is stored.
    auto error = set("x", "external_region", Value::array({1, 2}));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, -3);
    EXPECT_EQ(rows(), 2);
}

TEST_F(ContextualPageDaoTest, UnsettingRemovesTheTypeAndEveryRowOlderThanFifteenMinutes) {
    struct Row {
        double ageOfGeofenceRow;
        bool geofenceRowStays;
    };
    for (auto row : {Row{600, true}, Row{900, true}, Row{901, false}}) {
        SCOPED_TRACE(row.ageOfGeofenceRow);
        db->database()->executeUpdate("DELETE FROM closest_contextual_page");
        set("g", "geofence");
        env.advanceBy(row.ageOfGeofenceRow);
        set("b", "beacon");
        set("e", "external_region");
        EXPECT_FALSE(dao->unsetContextualPage("beacon"));
        EXPECT_EQ(rows(), row.geofenceRowStays ? 2 : 1);
        auto page = dao->getClosestContextualPage();
        ASSERT_TRUE(page);
        EXPECT_EQ((*page)["id"], "e");
        EXPECT_TRUE(env.consoleContains("Unsetting closest contextual page as not relevant for beacon"));
    }
}

TEST_F(ContextualPageDaoTest, DamagedPayloadReadsAsAbsent) {
    set("g", "geofence", Value{{"a", 1}});
    for (const char* stored : {"{\"a\":", "\xff\xfe", "[1,2]", "42"}) {
        SCOPED_TRACE(stored);
        db->database()->executeUpdate("UPDATE closest_contextual_page SET match_payload = ?",
                                      ZarnPSqlBlob{stored});
        auto page = dao->getClosestContextualPage();
        ASSERT_TRUE(page);
        EXPECT_EQ((*page)["id"], "g");
        EXPECT_FALSE(page->contains("match_payload"));
    }
}

}  // namespace
}  // namespace zarn
