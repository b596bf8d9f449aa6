#include "store/ZarnPSqLiteEventDao.h"

#include <gtest/gtest.h>

#include <set>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

class ZarnPSqLiteEventDaoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db = std::make_shared<ZarnPSqLiteDb>(22, path);
        db->disableThreadCheck();
        dao = std::make_shared<ZarnPSqLiteEventDao>(db);
        ASSERT_TRUE(db->database());
    }

    ZarnPEvent event(const std::string& id, unsigned type, double date, Value extra = Value::object()) {
        return ZarnPEvent(id, type, dateWithTimeIntervalSince1970(date), std::move(extra));
    }

    std::set<std::string> ids(const std::vector<std::shared_ptr<ZarnPEvent>>& events) {
        std::set<std::string> out;
        for (auto& e : events) out.insert(e->identifier());
        return out;
    }

    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteEventDao> dao;
};

TEST_F(ZarnPSqLiteEventDaoTest, RoundTripKeepsTypeDateAndNestedExtra) {
    Value extra = {{"notification_id", "c1;r1"}, {"match_payload", {{"coupon", "X12"}, {"n", 3}}}};
    dao->saveEvent(event("E1", ZarnPLogEventTypeNotificationViewed, 1796126400.25, extra));
    auto events = dao->getEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->identifier(), "E1");
    EXPECT_EQ(events[0]->eventType(), ZarnPLogEventTypeNotificationViewed);
    EXPECT_EQ(timeIntervalSince1970(events[0]->date()), 1796126400.25);
    EXPECT_EQ(events[0]->extra(), extra);
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.text("SELECT eventType FROM events"), "notification_viewed");
    EXPECT_EQ(raw.text("SELECT typeof(extra) FROM events"), "blob");
}

TEST_F(ZarnPSqLiteEventDaoTest, BatchHoldsAtMostHundredWithSentNotificationsFirst) {
    for (int i = 0; i < 130; ++i)
        dao->saveEvent(event("other" + std::to_string(i), ZarnPLogEventTypeHeartbeat, i));
    for (int i = 0; i < 20; ++i)
        dao->saveEvent(event("sent" + std::to_string(i), ZarnPLogEventTypeNotificationSent, 1000 + i));
    auto events = dao->getEvents();
    ASSERT_EQ(events.size(), 100u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(events[i]->eventType(), ZarnPLogEventTypeNotificationSent) << i;
    for (size_t i = 20; i < events.size(); ++i) EXPECT_EQ(events[i]->eventType(), ZarnPLogEventTypeHeartbeat);
    EXPECT_EQ(dao->getEventCount(), 150);
}

TEST_F(ZarnPSqLiteEventDaoTest, LimitKeepsTheNewestOfOneTypeOnly) {
    for (int i = 0; i < 5; ++i)
        dao->saveEvent(event("err" + std::to_string(i), ZarnPLogEventTypeError, 100 + i));
    dao->saveEvent(event("hb", ZarnPLogEventTypeHeartbeat, 1));
    dao->limitEventsOfType(ZarnPLogEventTypeError, 3);
    EXPECT_EQ(ids(dao->getEvents()), (std::set<std::string>{"err2", "err3", "err4", "hb"}));
}

TEST_F(ZarnPSqLiteEventDaoTest, EmptyCountIsZeroWithoutFailureLine) {
    EXPECT_EQ(dao->getEventCount(), 0);
    EXPECT_FALSE(env.consoleContains("Failed to count events"));
}

TEST_F(ZarnPSqLiteEventDaoTest, DuplicateIdentifierIsLoggedAndTheFirstStays) {
    dao->saveEvent(event("E1", ZarnPLogEventTypeHeartbeat, 1, {{"n", "first"}}));
    dao->saveEvent(event("E1", ZarnPLogEventTypeAttribution, 2, {{"n", "second"}}));
    EXPECT_TRUE(env.consoleContains("ERROR|SqLiteEventDao| Failed to store event"));
    auto events = dao->getEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->extra()["n"], "first");
}

TEST_F(ZarnPSqLiteEventDaoTest, BadRowsAreSkippedNotRaisedAndStayStored) {
    dao->saveEvent(event("good", ZarnPLogEventTypeHeartbeat, 1));
    test::RawSqlite raw(path);
    ASSERT_TRUE(
        raw.exec("INSERT INTO events VALUES('unknown-type', 'no_such_type', 2, '{}');"
                 "INSERT INTO events VALUES('not-json', 'heartbeat', 3, X'7B7B');"
                 "INSERT INTO events VALUES('not-object', 'heartbeat', 4, '[1,2]');"));
    auto events = dao->getEvents();
    EXPECT_EQ(ids(events), (std::set<std::string>{"good"}));
    EXPECT_TRUE(env.consoleContains("Error in deserialization of extra"));
    EXPECT_TRUE(env.consoleContains("unknown-type"));
    EXPECT_EQ(dao->getEventCount(), 4);
}

TEST_F(ZarnPSqLiteEventDaoTest, DeleteExactlyTheGivenEvents) {
    for (int i = 0; i < 4; ++i) dao->saveEvent(event("E" + std::to_string(i), ZarnPLogEventTypeHeartbeat, i));
    auto events = dao->getEvents();
    dao->deleteEvents({events[0], events[2]});
    auto left = ids(dao->getEvents());
    EXPECT_EQ(left.size(), 2u);
    EXPECT_FALSE(left.count(events[0]->identifier()));
    EXPECT_FALSE(left.count(events[2]->identifier()));
    dao->deleteAllEvents();
    EXPECT_EQ(dao->getEventCount(), 0);
}

TEST_F(ZarnPSqLiteEventDaoTest, JoinsATransactionAlreadyOpen) {
    auto connection = db->database();
    dao->saveEvent(event("E1", ZarnPLogEventTypeError, 1));
    dao->saveEvent(event("E2", ZarnPLogEventTypeError, 2));
    ASSERT_TRUE(connection->beginTransaction());
    dao->limitEventsOfType(ZarnPLogEventTypeError, 1);
    dao->deleteEvents(dao->getEvents());
    EXPECT_TRUE(connection->inTransaction());  // the caller's transaction was not committed under it
    ASSERT_TRUE(connection->rollback());
    EXPECT_EQ(dao->getEventCount(), 2);
}

}  // namespace
}  // namespace zarn
