#include "store/ZarnPSqLiteSentTriggerDao.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/Format.h"
#include "core/ZarnPSentTrigger.h"
#include "store/ZarnPSqLiteDb.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

NotificationRequest request(const std::string& matchId, Value userInfo) {
    NotificationRequest r;
    r.identifier = matchId;
    userInfo["matchIdentifier"] = matchId;
    if (!userInfo.contains("identifier"))
        userInfo["identifier"] = "c1;r1";
    r.content.userInfo = std::move(userInfo);
    return r;
}

class SentTriggerDaoTest : public ::testing::Test {
  protected:
    void open() {
        db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        dao = std::make_shared<ZarnPSqLiteSentTriggerDao>(db);
        ASSERT_TRUE(db->database());
    }
    void writeOldFile(int version, const std::string& sql) {
        ASSERT_EQ(test::writeOldFile(path, version, sql), std::nullopt);
    }
    Date at(double seconds) { return dateWithTimeIntervalSince1970(test::TestEnvironment::kStart + seconds); }
    long long rows(const char* table) {
        test::RawSqlite raw(path);
        return raw.integer(std::string("SELECT COUNT(*) FROM ") + table);
    }

    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteSentTriggerDao> dao;
};

// The read-back fields in one line: message|data|beacon UUID|handler|beacon|region|exit|location|
// range|dwelling.
std::string summary(const ZarnPSentTrigger& t) {
    return format("%@|%@|%@|%u|%d|%u|%d|%d|%d|%d", t.message(), t.data(), t.beaconUuid(),
                  t.notificationHandlerType(), t.isBeacon(), t.regionType(), t.triggerOnExit(),
                  t.location().has_value(), t.matchRange(), t.dwellingMinutes());
}

TEST_F(SentTriggerDaoTest, RowsAreBuiltFromTheUserInfoAndReadBackAsSentTriggers) {
    open();
    const std::tuple<Value, bool, const char*> cases[] = {
        {{{"message", "Hi"},
          {"action", "https://x"},
          {"notificationHandlerType", "regular"},
          {"regionType", "geofence"},
          {"trigger", "exit"},
          {"geofenceLatitude", 52.5},
          {"geofenceLongitude", 13.4},
          {"matchRange", 150}},
         false,
         "Hi|https://x|NULL|1|0|0|1|1|150|0"},
        {Value::object(), false, "|NULL|NULL|1|0|0|0|0|0|0"},
        {{{"notificationHandlerType", "landingPage"},
          {"regionType", "beacon"},
          {"beaconUuid", "AB-CD"},
          {"trigger", "enter"},
          {"matchRange", "20"}},
         false,
         "|NULL|AB-CD|4|1|1|0|0|20|0"},
        {{{"notificationHandlerType", "applink"}, {"regionType", "external"}},
         false,
         "|NULL|NULL|3|0|2|0|0|0|0"},
        {{{"regionType", 1}}, false, "|NULL|NULL|1|1|1|0|0|0|0"},
        {{{"notificationHandlerType", "contextual"}, {"dwellingMinutes", 5}},
         false,
         "|NULL|NULL|1|0|0|0|0|0|5"},
        {{{"geofenceLatitude", 52.5}}, false, "|NULL|NULL|1|0|0|0|0|0|0"},
        {{{"notificationHandlerType", "geotrigger"}, {"regionType", "beacon"}, {"message", "G"}},
         true,
         "G|NULL|NULL|2|1|1|0|0|0|0"},
    };
    int i = 0;
    for (const auto& [userInfo, geotrigger, expected] : cases) {
        SCOPED_TRACE(expected);
        std::string id = "m" + std::to_string(i++);
        dao->saveSentTrigger(request(id, userInfo), at(i));
        std::shared_ptr<ZarnPSentTrigger> t;
        for (auto& s : geotrigger ? dao->sentGeotriggers() : dao->sentNotifications())
            if (s->matchIdentifier() == id)
                t = s;
        ASSERT_TRUE(t);
        EXPECT_EQ(summary(*t), expected);
        EXPECT_EQ(t->identifier(), "c1;r1");
        EXPECT_EQ(t->dateSent(), at(i));
        EXPECT_FALSE(t->dateOpened());
        EXPECT_EQ(dao->sentNotification(id) != nullptr, !geotrigger);
    }
    auto exitRow = dao->sentNotification("m0");
    ASSERT_TRUE(exitRow && exitRow->location());
    EXPECT_EQ(exitRow->location()->latitude(), 52.5);
    EXPECT_EQ(exitRow->location()->longitude(), 13.4);
    // A duplicate match identifier keeps the stored row.
    dao->saveSentTrigger(request("m0", {{"message", "other"}}), at(50));
    EXPECT_EQ(dao->sentNotification("m0")->message(), "Hi");
    EXPECT_TRUE(env.consoleContains("Failed to save sent trigger"));
}

TEST_F(SentTriggerDaoTest, DwellingRowsWaitUnseenSurviveTheCapAndClearsAndBecomeSent) {
    open();
    dao->saveSentTrigger(request("dwell", {{"identifier", "c9;r9"}, {"dwellingMinutes", 3}}), std::nullopt);
    for (int i = 0; i < 105; ++i)
        dao->saveSentTrigger(request("s" + std::to_string(i), Value::object()), at(i));
    EXPECT_EQ(rows("notification_sent"), 100);
    EXPECT_FALSE(dao->sentNotification("dwell"));
    auto sent = dao->sentNotifications();
    EXPECT_EQ(sent.size(), 99u);
    // The oldest five and one more for the waiting row went.
    EXPECT_FALSE(dao->sentNotification("s5"));
    EXPECT_TRUE(dao->sentNotification("s6"));
    EXPECT_TRUE(dao->sentNotification("s104"));

    dao->clearSentNotifications();
    EXPECT_EQ(rows("notification_sent"), 1);
    EXPECT_FALSE(dao->saveDwellingTrigger("dwell", at(500)));
    ASSERT_TRUE(dao->sentNotification("dwell"));
    EXPECT_EQ(dao->sentNotification("dwell")->dateSent(), at(500));
    EXPECT_FALSE(dao->markNotificationOpened("dwell", at(600)));
    EXPECT_EQ(dao->sentNotification("dwell")->dateOpened(), at(600));
    // Updates of unknown rows succeed and change nothing.
    EXPECT_FALSE(dao->markNotificationOpened("nobody", at(1)));
    EXPECT_FALSE(dao->saveDwellingTrigger("nobody", at(1)));
}

TEST_F(SentTriggerDaoTest, AWaitingRowReplacesTheWaitingRowsOfItsNotificationAndCancelRemovesThem) {
    open();
    dao->saveSentTrigger(request("w1", {{"identifier", "c1;r1"}}), std::nullopt);
    dao->saveSentTrigger(request("w2", {{"identifier", "c1;r1"}}), std::nullopt);
    dao->saveSentTrigger(request("w3", {{"identifier", "c2;r2"}}), std::nullopt);
    dao->saveSentTrigger(request("sent", {{"identifier", "c1;r1"}}), at(1));
    EXPECT_EQ(rows("notification_sent"), 3);
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM notification_sent WHERE match_identifier = 'w1'"), 0);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM notification_sent WHERE match_identifier = 'w2'"), 1);

    // Many cancelled dwellings cannot push sent rows out.
    for (int i = 0; i < 150; ++i)
        dao->saveSentTrigger(request("x" + std::to_string(i), Value::object()), std::nullopt);
    EXPECT_TRUE(dao->sentNotification("sent"));

    EXPECT_FALSE(dao->deleteUnsentTriggers({"c1;r1", "c2;r2"}));
    EXPECT_EQ(rows("notification_sent"), 1);
    EXPECT_TRUE(dao->sentNotification("sent"));
    EXPECT_FALSE(dao->deleteUnsentTriggers({}));
}

TEST_F(SentTriggerDaoTest, CapTiesKeepTheNewestRowAndGeotriggersHaveTheirOwnCap) {
    open();
    for (int i = 0; i < 101; ++i)
        dao->saveSentTrigger(request("t" + std::to_string(i), Value::object()), at(7));
    EXPECT_EQ(rows("notification_sent"), 100);
    EXPECT_TRUE(dao->sentNotification("t100"));
    EXPECT_FALSE(dao->sentNotification("t0"));

    for (int i = 0; i < 102; ++i)
        dao->saveSentTrigger(request("g" + std::to_string(i), {{"notificationHandlerType", "geotrigger"}}),
                             at(i));
    EXPECT_EQ(rows("geotrigger_sent"), 100);
    EXPECT_EQ(rows("notification_sent"), 100);
    EXPECT_FALSE(dao->markGeotriggerHandled("g101", at(300)));
    std::optional<Date> handled;
    for (auto& g : dao->sentGeotriggers())
        if (g->matchIdentifier() == "g101")
            handled = g->dateOpened();
    EXPECT_EQ(handled, at(300));
    dao->clearSentGeotriggers();
    EXPECT_TRUE(dao->sentGeotriggers().empty());
    EXPECT_EQ(rows("notification_sent"), 100);
}

struct MigrationCase {
    int version;
    const char* oldTables;
    long long keptRows;
};

TEST_F(SentTriggerDaoTest, MigrationsFromEveryOlderSchemaEndWithAllColumns) {
    constexpr const char* kV14 =
        "CREATE TABLE notification_sent (match_identifier VARCHAR(255) NOT NULL PRIMARY KEY, identifier "
        "VARCHAR(255) NOT NULL, message VARCHAR(2048) NOT NULL, latitude DOUBLE, longitude DOUBLE, data "
        "VARCHAR(255) NOT NULL, match_range INTEGER NOT NULL, notification_handler_type INTEGER NOT NULL, "
        "is_beacon BOOLEAN NOT NULL, trigger_on_exit BOOLEAN NOT NULL, dwelling_minutes INT NOT NULL, "
        "date_sent "
        "DOUBLE, date_opened DOUBLE);"
        "CREATE TABLE geotrigger_sent (match_identifier VARCHAR(255) NOT NULL PRIMARY KEY, identifier "
        "VARCHAR(255) NOT NULL, message VARCHAR(2048), latitude DOUBLE, longitude DOUBLE, data VARCHAR(255) "
        "NOT "
        "NULL, match_range INTEGER NOT NULL, notification_handler_type INTEGER NOT NULL, is_beacon BOOLEAN "
        "NOT "
        "NULL, trigger_on_exit BOOLEAN NOT NULL, dwelling_minutes INT NOT NULL, date_sent DOUBLE, "
        "date_opened "
        "DOUBLE);"
        "INSERT INTO notification_sent VALUES ('old', 'c;r', 'm', NULL, NULL, 'd', 1, 1, 0, 0, 0, 10.0, "
        "NULL);";
    const std::string v15 = kV14;
    // A file left at 15 after a later step failed, with the 16 column already added.
    const std::string v15Partial = v15 +
                                   "ALTER TABLE notification_sent ADD COLUMN beaconUuid VARCHAR(255);"
                                   "ALTER TABLE geotrigger_sent ADD COLUMN beaconUuid VARCHAR(255);";
    const std::string v19 = v15Partial;
    const MigrationCase cases[] = {
        {0, "", 0},
        {13, "CREATE TABLE notification_sent (x); INSERT INTO notification_sent VALUES (1);", 0},
        {15, v15.c_str(), 1},
        {15, v15Partial.c_str(), 1},
        {19, v19.c_str(), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        dao.reset();
        db.reset();
        std::filesystem::remove(path);
        if (c.version > 0)
            writeOldFile(c.version, c.oldTables);
        open();
        EXPECT_EQ(db->currentVersion(), 22);
        EXPECT_EQ(rows("notification_sent"), c.keptRows);
        if (c.keptRows) {
            auto old = dao->sentNotification("old");
            ASSERT_TRUE(old);
            EXPECT_EQ(old->regionType(), 0u);  // NULL before the column existed
            EXPECT_FALSE(old->beaconUuid());
        }
        dao->saveSentTrigger(request("new", {{"beaconUuid", "U"}, {"regionType", "beacon"}}), at(1));
        ASSERT_TRUE(dao->sentNotification("new"));
        EXPECT_EQ(dao->sentNotification("new")->regionType(), 1u);
        EXPECT_EQ(dao->sentNotification("new")->beaconUuid(), "U");
    }
}

}  // namespace
}  // namespace zarn
