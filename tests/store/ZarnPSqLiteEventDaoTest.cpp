#include "store/ZarnPSqLiteEventDao.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"
#include "testing/SyncCountingVfs.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

class ZarnPSqLiteEventDaoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
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

// The "error" events the table should hold: every one saved and not deleted, less the oldest
// beyond the cap after each capped save.
class CapModel {
  public:
    void saved(const std::string& id, double date, bool capped) {
        byDate_[date] = id;
        while (capped && byDate_.size() > kCap) byDate_.erase(byDate_.begin());
    }
    void deleted(const std::string& id) {
        for (auto it = byDate_.begin(); it != byDate_.end(); ++it)
            if (it->second == id) {
                byDate_.erase(it);
                return;
            }
    }
    void clear() { byDate_.clear(); }
    std::set<std::string> ids() const {
        std::set<std::string> out;
        for (auto& [date, id] : byDate_) out.insert(id);
        return out;
    }
    static constexpr size_t kCap = 15;

  private:
    std::map<double, std::string> byDate_;
};

TEST_F(ZarnPSqLiteEventDaoTest, CapStaysExactAcrossDeletesRestartsFailuresAndForeignTransactions) {
    CapModel model;
    int next = 0;
    auto save = [&](double date) {
        std::string id = "err" + std::to_string(next++);
        dao->saveEvent(event(id, ZarnPLogEventTypeError, date), CapModel::kCap);
        model.saved(id, date, true);
    };
    auto storedErrors = [&] {
        test::RawSqlite raw(path);  // another connection: sees committed rows only
        std::set<std::string> out;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(raw.handle(), "SELECT identifier FROM events WHERE eventType = 'error'", -1, &stmt,
                           nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            out.insert(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        return out;
    };
    auto errorsIn = [](const std::vector<std::shared_ptr<ZarnPEvent>>& events) {
        std::vector<std::shared_ptr<ZarnPEvent>> out;
        for (auto& e : events)
            if (e->eventType() == ZarnPLogEventTypeError)
                out.push_back(e);
        return out;
    };
    dao->saveEvent(event("hb", ZarnPLogEventTypeHeartbeat, 1));

    for (int i = 0; i < 20; ++i) save(100 + i);
    EXPECT_EQ(storedErrors(), model.ids()) << "filling past the cap";

    auto some = errorsIn(dao->getEvents());
    some.resize(6);
    dao->deleteEvents(some);
    for (auto& e : some) model.deleted(e->identifier());
    for (int i = 0; i < 3; ++i) save(200 + i);  // under the cap again
    EXPECT_EQ(storedErrors(), model.ids()) << "after a batch delete";
    for (int i = 0; i < 6; ++i) save(300 + i);
    EXPECT_EQ(storedErrors(), model.ids()) << "back at the cap";

    // A deleted row named with another type: its own type loses it all the same.
    auto one = errorsIn(dao->getEvents()).front();
    dao->deleteEvents({std::make_shared<ZarnPEvent>(one->identifier(), ZarnPLogEventTypeHeartbeat,
                                                    one->date(), Value::object())});
    model.deleted(one->identifier());
    save(400);
    save(401);
    EXPECT_EQ(storedErrors(), model.ids()) << "after a delete under another type";

    // Older than everything stored: it goes first.
    save(50);
    EXPECT_EQ(storedErrors(), model.ids()) << "an old event at the cap";

    // Restart: the count is read again from the table.
    dao.reset();
    db.reset();
    db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
    db->disableThreadCheck();
    dao = std::make_shared<ZarnPSqLiteEventDao>(db);
    ASSERT_TRUE(db->database());
    save(500);
    EXPECT_EQ(storedErrors(), model.ids()) << "after a restart";

    // A caller's transaction that rolls back undoes the caps applied inside it.
    auto connection = db->database();
    ASSERT_TRUE(connection->beginTransaction());
    dao->saveEvent(event("gone", ZarnPLogEventTypeError, 600), 5);
    ASSERT_TRUE(connection->rollback());
    for (int i = 0; i < 3; ++i) save(700 + i);
    EXPECT_EQ(storedErrors(), model.ids()) << "after a rolled-back capped save";
    ASSERT_TRUE(connection->beginTransaction());
    dao->limitEventsOfType(ZarnPLogEventTypeError, 3);
    dao->deleteAllEvents();
    ASSERT_TRUE(connection->rollback());
    for (int i = 0; i < 3; ++i) save(750 + i);
    EXPECT_EQ(storedErrors(), model.ids()) << "after a rolled-back limit and delete";

    // A failed save (an identifier already stored) changes nothing.
    dao->saveEvent(event("err" + std::to_string(next - 1), ZarnPLogEventTypeError, 800), 15);
    EXPECT_FALSE(connection->hasOpenTransaction());
    save(801);
    EXPECT_EQ(storedErrors(), model.ids()) << "after a failed save";

    // Locked by another process: the save fails whole, and the next one is exact again.
    int failures = env.consoleCount("ERROR|SqLiteEventDao| Failed to store event");
    {
        test::RawSqlite other(path);
        ASSERT_TRUE(other.exec("BEGIN EXCLUSIVE"));
        dao->saveEvent(event("locked", ZarnPLogEventTypeError, 900), 15);
        ASSERT_TRUE(other.exec("COMMIT"));
    }
    EXPECT_EQ(env.consoleCount("ERROR|SqLiteEventDao| Failed to store event"), failures + 1);
    EXPECT_FALSE(connection->hasOpenTransaction());
    save(901);
    EXPECT_EQ(storedErrors(), model.ids()) << "after a locked database";

    dao->deleteAllEvents();
    model.clear();
    for (int i = 0; i < 3; ++i) save(1000 + i);
    EXPECT_EQ(storedErrors(), model.ids()) << "after deleting all";
    EXPECT_EQ(dao->getEventCount(), 3);
}

// The cap deletes exactly the rows that the statement keeping the newest by date deletes, on
// random stores full of ties in date, stored in an order unrelated to their dates, at limits
// around the number stored.
TEST_F(ZarnPSqLiteEventDaoTest, CapDeletesExactlyTheRowsTheFullStatementDeletes) {
    const std::string full =
        "DELETE FROM events WHERE identifier NOT IN( SELECT identifier FROM events WHERE eventType = "
        ":eventType ORDER BY date DESC LIMIT :limit) AND eventType = :eventType";
    auto connection = db->database();
    auto stored = [&] {
        std::set<std::string> out;
        auto rs = connection->executeQuery("SELECT identifier FROM events");
        while (rs && rs->next()) out.insert(rs->stringForColumnIndex(0).value_or(""));
        return out;
    };
    const unsigned types[] = {ZarnPLogEventTypeError, ZarnPLogEventTypeHeartbeat,
                              ZarnPLogEventTypeLocationAcquired};
    std::mt19937 gen(25);
    int deleted = 0;
    for (int round = 0; round < 15; ++round) {
        dao->deleteAllEvents();
        int n = std::uniform_int_distribution<int>(0, 80)(gen);
        int errors = 0;
        for (int i = 0; i < n; ++i) {
            unsigned type = types[gen() % 3];
            errors += type == ZarnPLogEventTypeError;
            double date = std::uniform_int_distribution<int>(0, n / 4)(gen) + (gen() % 2 ? 0.5 : 0.0);
            dao->saveEvent(event("e" + std::to_string(gen()), type, date));
        }
        for (int limit : {-1, 0, 1, errors / 2, errors - 1, errors, errors + 1}) {
            SCOPED_TRACE("round " + std::to_string(round) + ", limit " + std::to_string(limit));
            auto before = stored();
            ASSERT_TRUE(connection->beginTransaction());
            ASSERT_TRUE(connection->executeUpdateWithParameterDictionary(
                full, {{"eventType", "error"}, {"limit", limit}}));
            auto expected = stored();
            ASSERT_TRUE(connection->rollback());
            ASSERT_EQ(stored(), before);
            ASSERT_TRUE(connection->beginTransaction());
            dao->limitEventsOfType(ZarnPLogEventTypeError, limit);
            EXPECT_EQ(stored(), expected);
            deleted += static_cast<int>(before.size() - expected.size());
            ASSERT_TRUE(connection->rollback());
        }
    }
    EXPECT_GT(deleted, 100);  // the rounds did cut
}

// A stored event is told to nobody until the service has it: one commit each, unsynced.
TEST(ZarnPSqLiteEventDaoSyncTest, OneUnsyncedCommitPerStoredEventUnderAndAtTheCap) {
    auto& vfs = test::SyncCountingVfs::install();
    test::TestEnvironment env;
    std::string path = env.path("Documents/zarn.db");
    auto db = std::make_shared<ZarnPSqLiteDb>(22, path, zarn::platform::current().fileSystem);
    db->disableThreadCheck();
    auto dao = std::make_shared<ZarnPSqLiteEventDao>(db);
    ASSERT_TRUE(db->database());

    constexpr int kEvents = 40;
    auto store = [&](const char* prefix, unsigned type, int limit) {
        vfs.reset();
        for (int i = 0; i < kEvents; ++i)
            dao->saveEvent(ZarnPEvent(prefix + std::to_string(i), type, dateWithTimeIntervalSince1970(i),
                                      Value{{"i", i}}),
                           limit);
        EXPECT_EQ(vfs.syncs(), 0u) << prefix;
        return vfs.logCommits();
    };
    EXPECT_EQ(store("loc", ZarnPLogEventTypeLocationAcquired, 2000), uint64_t(kEvents));
    EXPECT_EQ(store("err", ZarnPLogEventTypeError, 15), uint64_t(kEvents));
    test::RawSqlite raw(path);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM events WHERE eventType = 'error'"), 15);
    EXPECT_EQ(raw.text("SELECT MIN(date) FROM events WHERE eventType = 'error'"), "25.0");
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM events WHERE eventType = 'location_acquired'"), kEvents);
    // Deleting what the service accepted is durable: one commit, with the log synced.
    auto accepted = dao->getEvents();
    std::erase_if(accepted,
                  [](const auto& e) { return e->eventType() != ZarnPLogEventTypeLocationAcquired; });
    ASSERT_EQ(accepted.size(), size_t(kEvents));
    vfs.reset();
    dao->deleteEvents(accepted);
    EXPECT_EQ(vfs.logCommits(), 1u);
    EXPECT_EQ(vfs.walSyncs(), 1u);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM events"), 15);
}

}  // namespace
}  // namespace zarn
