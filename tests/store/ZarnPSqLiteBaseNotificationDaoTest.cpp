#include "store/ZarnPSqLiteBaseNotificationDao.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "core/ZarnPSystemClockDao.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/ZarnPSqLiteNotificationDao.h"
#include "store/ZarnPTransaction.h"
#include "tests/store/RecordingReadDao.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

using Ids = std::set<std::string>;

// Each region kind's real store, which creates its own tables.
struct RegionKind {
    std::string name;
    std::string prefix;
    std::function<std::shared_ptr<ZarnPSqLiteBaseNotificationDao>(std::shared_ptr<ZarnPSqLiteDb>,
                                                                  std::shared_ptr<ZarnPSqLiteCooldownDao>,
                                                                  std::shared_ptr<ZarnPClockDao>)>
        make;
};

void PrintTo(const RegionKind& kind, std::ostream* os) {
    *os << kind.name;
}

const RegionKind kKinds[] = {
    {"geofence", "",
     [](auto db, auto cooldowns, auto clock) {
         return std::make_shared<ZarnPSqLiteNotificationDao>(db, cooldowns, clock,
                                                             std::make_shared<test::RecordingReadDao>());
     }},
    {"beacon", "beacon_",
     [](auto db, auto cooldowns, auto clock) {
         return std::make_shared<ZarnPSqLiteBeaconNotificationDao>(db, cooldowns, clock);
     }},
    {"external", "external_",
     [](auto db, auto cooldowns, auto clock) {
         return std::make_shared<ZarnPSqLiteExternalNotificationDao>(db, cooldowns, clock);
     }},
};

class MatchStateTest : public ::testing::TestWithParam<RegionKind> {
  protected:
    void SetUp() override {
        db = std::make_shared<ZarnPSqLiteDb>(22, path, env.fileSystem);
        db->disableThreadCheck();
        cooldowns = std::make_shared<ZarnPSqLiteCooldownDao>(db);
        clock = std::make_shared<ZarnPSystemClockDao>(env.time);
        // Every kind's store, as in the module: the shared history is the geofence store's table.
        for (const auto& kind : kKinds) {
            all.push_back(kind.make(db, cooldowns, clock));
            if (kind.prefix == GetParam().prefix)
                dao = all.back();
        }
        ASSERT_TRUE(db->database());
    }
    std::string table(const std::string& name) const { return GetParam().prefix + name; }
    std::string rows(const std::string& sql) {
        return test::RawSqlite(path).text("SELECT group_concat(r, ' ') FROM (" + sql + ")").value_or("");
    }
    double now() const { return test::TestEnvironment::kStart + advanced; }

    test::TestEnvironment env;
    double advanced = 0;
    std::string path = env.path("Documents/zarn.db");
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteCooldownDao> cooldowns;
    std::shared_ptr<ZarnPClockDao> clock;
    std::vector<std::shared_ptr<ZarnPSqLiteBaseNotificationDao>> all;
    std::shared_ptr<ZarnPSqLiteBaseNotificationDao> dao;
};

TEST_P(MatchStateTest, HasToLeaveFirstMarksAreKeptOnceAndReplacedAsAWhole) {
    EXPECT_EQ(dao->markUserHasToLeaveFirst("b;2"), std::nullopt);
    EXPECT_EQ(dao->markUserHasToLeaveFirst("b;2"), std::nullopt);
    EXPECT_EQ(dao->markUserHasToLeaveFirst("c;3"), std::nullopt);
    EXPECT_EQ(dao->getUserHasToLeaveNotifications(), (Ids{"b;2", "c;3"}));

    // A row of both sides is not touched: its rowid stays.
    auto rowidOfB =
        "SELECT rowid FROM " + table("notifications_user_has_to_exit_first") + " WHERE identifier='b;2'";
    auto before = test::RawSqlite(path).integer(rowidOfB);
    EXPECT_EQ(dao->replaceUserHasToLeaveFirstSet({"a;1", "b;2"}), std::nullopt);
    EXPECT_EQ(dao->getUserHasToLeaveNotifications(), (Ids{"a;1", "b;2"}));
    EXPECT_EQ(test::RawSqlite(path).integer(rowidOfB), before);

    // A failing insert leaves the marks as they were.
    test::RawSqlite(path).exec("CREATE TRIGGER refuse BEFORE INSERT ON " +
                               table("notifications_user_has_to_exit_first") +
                               " WHEN NEW.identifier = 'bad' BEGIN SELECT RAISE(ABORT, 'refused'); END");
    EXPECT_TRUE(dao->replaceUserHasToLeaveFirstSet({"z;9", "bad"}));
    EXPECT_EQ(dao->getUserHasToLeaveNotifications(), (Ids{"a;1", "b;2"}));

    EXPECT_EQ(dao->replaceUserHasToLeaveFirstSet({}), std::nullopt);
    EXPECT_TRUE(dao->getUserHasToLeaveNotifications().empty());

    // Inside a caller's transaction the replacement joins it and goes with its rollback.
    {
        ZarnPTransaction caller(db->database(), ZarnPDurability::Normal);
        EXPECT_EQ(dao->replaceUserHasToLeaveFirstSet({"q;1"}), std::nullopt);
        EXPECT_EQ(dao->getUserHasToLeaveNotifications(), (Ids{"q;1"}));
    }
    EXPECT_TRUE(dao->getUserHasToLeaveNotifications().empty());
}

TEST_P(MatchStateTest, DwellingIsReplacedAtomicallyAndExpiresStrictlyAfterItsEnd) {
    auto end = dateWithTimeIntervalSince1970(now() + 600);
    EXPECT_EQ(dao->markUserStartedDwelling("a;1", "m1", end), std::nullopt);
    EXPECT_EQ(dao->markUserStartedDwelling("a;1", "m2", dateByAddingTimeInterval(end, 60)), std::nullopt);
    EXPECT_EQ(dao->markUserStartedDwelling("b;2", "m3", end), std::nullopt);
    EXPECT_EQ(rows("SELECT identifier || '=' || match_identifier || '@' || CAST(enddate - " +
                   std::to_string(now()) + " AS INTEGER) r FROM " + table("notifications_user_dwelling") +
                   " ORDER BY identifier"),
              "a;1=m2@660 b;2=m3@600");
    EXPECT_EQ(dao->dwellingNotifications(), (Ids{"a;1", "b;2"}));

    EXPECT_TRUE(dao->expiredDwellingNotifications(end).empty());
    auto expired = dao->expiredDwellingNotifications(dateByAddingTimeInterval(end, 1));
    ASSERT_EQ(expired.size(), 1u);
    EXPECT_EQ(expired[0].identifier(), "b;2");
    EXPECT_EQ(expired[0].matchIdentifier(), "m3");
    EXPECT_EQ(expired[0].sendDate(), end);
    // A period whose end has passed still counts as dwelling.
    EXPECT_TRUE(dao->isUserDwellingIn("b;2"));
    EXPECT_FALSE(dao->isUserDwellingIn("c;3"));

    // A refused restart keeps the running period.
    test::RawSqlite(path).exec(
        "CREATE TRIGGER refuse BEFORE INSERT ON " + table("notifications_user_dwelling") +
        " WHEN NEW.match_identifier = 'bad' BEGIN SELECT RAISE(ABORT, 'refused'); END");
    EXPECT_TRUE(dao->markUserStartedDwelling("b;2", "bad", end));
    EXPECT_TRUE(dao->isUserDwellingIn("b;2"));
    EXPECT_EQ(dao->expiredDwellingNotifications(dateByAddingTimeInterval(end, 1))[0].matchIdentifier(), "m3");

    EXPECT_EQ(dao->removeUserDwelling("b;2"), std::nullopt);
    EXPECT_EQ(dao->dwellingNotifications(), (Ids{"a;1"}));
}

TEST_P(MatchStateTest, CooldownGroupsShareOneMatchTimeFromTheClockOrNone) {
    env.advanceBy(42.5);
    advanced = 42.5;
    std::vector<ZarnPCooldownGroup> groups{
        {"00000000000000000000000000000000", 60}, {"campaign", 30}, {"campaign;1", 0}};
    EXPECT_EQ(dao->updateCooldownLastMatch("campaign;1", groups), std::nullopt);
    for (const auto& group : groups)
        EXPECT_EQ(dao->lastCooldownGroupMatch(group.identifier()), dateWithTimeIntervalSince1970(now()));
    EXPECT_EQ(dao->updateCooldownLastMatch("campaign;1", {}), std::nullopt);
    EXPECT_TRUE(env.consoleContains("Inserted 0 cooldown group entries for campaign;1"));

    // One refused group: none of them moves.
    test::RawSqlite(path).exec(
        "CREATE TRIGGER refuse BEFORE INSERT ON matched_cooldown_groups WHEN NEW.cooldown_group = 'bad' "
        "BEGIN "
        "SELECT RAISE(ABORT, 'refused'); END");
    env.advanceBy(10);
    EXPECT_TRUE(dao->updateCooldownLastMatch("campaign;1", {{"campaign", 30}, {"bad", 1}}));
    EXPECT_EQ(dao->lastCooldownGroupMatch("campaign"), dateWithTimeIntervalSince1970(now()));
    EXPECT_EQ(dao->lastCooldownGroupMatch("bad"), std::nullopt);
}

TEST_P(MatchStateTest, TriggersStampTheNotificationsSegmentationIdsInTheSharedHistory) {
    EXPECT_EQ(dao->saveNotificationTrigger("a;1"), std::nullopt);
    EXPECT_EQ(rows("SELECT segmentation_id r FROM shared_notifications_segmentation_history"), "");
    EXPECT_TRUE(env.consoleContains("Inserted 0 segmentation ids for a;1"));

    test::RawSqlite(path).exec("INSERT INTO " + table("notifications_segmentation_ids") +
                               " VALUES ('a;1', 's1'), ('a;1', 's2'), ('b;2', 's3')");
    EXPECT_EQ(dao->getSegmentationIds("a;1"), (std::vector<std::string>{"s1", "s2"}));
    env.advanceBy(5);
    advanced = 5;
    EXPECT_EQ(dao->saveNotificationTrigger("a;1"), std::nullopt);
    EXPECT_EQ(rows("SELECT segmentation_id || '@' || CAST(timestamp - " + std::to_string(now()) +
                   " AS INTEGER) r FROM shared_notifications_segmentation_history ORDER BY 1"),
              "s1@0 s2@0");
    EXPECT_TRUE(env.consoleContains("Inserted 2 segmentation ids for a;1"));
}

TEST_P(MatchStateTest, MissingTablesAnswerErrorsAndEmptyReadsWithoutRaising) {
    test::RawSqlite(path).exec("DROP TABLE " + table("notifications_user_has_to_exit_first") +
                               "; DROP TABLE " + table("notifications_user_dwelling") + "; DROP TABLE " +
                               table("notifications_segmentation_ids") +
                               "; DROP TABLE matched_cooldown_groups");
    auto end = dateWithTimeIntervalSince1970(now());
    EXPECT_TRUE(dao->markUserHasToLeaveFirst("a;1"));
    EXPECT_TRUE(dao->replaceUserHasToLeaveFirstSet({"a;1"}));
    EXPECT_TRUE(dao->getUserHasToLeaveNotifications().empty());
    auto error = dao->markUserStartedDwelling("a;1", "m", end);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "ZarnPDatabase");
    EXPECT_TRUE(dao->removeUserDwelling("a;1"));
    EXPECT_TRUE(dao->expiredDwellingNotifications(end).empty());
    EXPECT_TRUE(dao->dwellingNotifications().empty());
    EXPECT_FALSE(dao->isUserDwellingIn("a;1"));
    EXPECT_TRUE(dao->updateCooldownLastMatch("a;1", {{"g", 1}}));
    EXPECT_EQ(dao->lastCooldownGroupMatch("g"), std::nullopt);
    EXPECT_TRUE(dao->getSegmentationIds("a;1").empty());
    EXPECT_EQ(dao->saveNotificationTrigger("a;1"), std::nullopt);
}

// The kinds share only the cooldown matches: state written through one store is invisible to
// the others, even under the same identifier.
TEST(MatchStateKindsTest, KindsKeepTheirStateApartAndShareTheCooldownMatches) {
    test::TestEnvironment env;
    auto db = std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/zarn.db"), env.fileSystem);
    db->disableThreadCheck();
    auto cooldowns = std::make_shared<ZarnPSqLiteCooldownDao>(db);
    std::shared_ptr<ZarnPClockDao> clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    std::vector<std::shared_ptr<ZarnPSqLiteBaseNotificationDao>> daos;
    for (const auto& kind : kKinds) daos.push_back(kind.make(db, cooldowns, clock));
    ASSERT_TRUE(db->database());

    auto end = dateWithTimeIntervalSince1970(test::TestEnvironment::kStart + 60);
    for (size_t i = 0; i < daos.size(); ++i) {
        SCOPED_TRACE(kKinds[i].name);
        EXPECT_EQ(daos[i]->markUserStartedDwelling("c;1", "m" + std::to_string(i), end), std::nullopt);
        EXPECT_EQ(daos[i]->markUserHasToLeaveFirst("c;" + std::to_string(i)), std::nullopt);
    }
    for (size_t i = 0; i < daos.size(); ++i) {
        SCOPED_TRACE(kKinds[i].name);
        auto expired = daos[i]->expiredDwellingNotifications(dateByAddingTimeInterval(end, 1));
        ASSERT_EQ(expired.size(), 1u);
        EXPECT_EQ(expired[0].matchIdentifier(), "m" + std::to_string(i));
        EXPECT_EQ(daos[i]->getUserHasToLeaveNotifications(), (Ids{"c;" + std::to_string(i)}));
    }
    EXPECT_EQ(daos[2]->removeUserDwelling("c;1"), std::nullopt);
    EXPECT_TRUE(daos[0]->isUserDwellingIn("c;1"));
    EXPECT_TRUE(daos[1]->isUserDwellingIn("c;1"));
    EXPECT_FALSE(daos[2]->isUserDwellingIn("c;1"));

    EXPECT_EQ(daos[1]->updateCooldownLastMatch("c;1", {{"c", 10}}), std::nullopt);
    EXPECT_EQ(daos[2]->lastCooldownGroupMatch("c"),
              dateWithTimeIntervalSince1970(test::TestEnvironment::kStart));
}

INSTANTIATE_TEST_SUITE_P(EveryRegionKind, MatchStateTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace zarn
