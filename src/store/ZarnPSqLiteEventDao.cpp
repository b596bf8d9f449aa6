#include "store/ZarnPSqLiteEventDao.h"

#include "core/ZarnPEvent.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPResultSet.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteEventDao";
constexpr int kBatchSize = 100;

// Runs `body` inside a transaction unless one is already open (then it joins that one).
template <typename F>
void inTransaction(ZarnPDatabase& db, F&& body) {
    bool own = !db.inTransaction() && db.beginTransaction();
    body();
    if (own)
        db.commit();
}
}  // namespace

void ZarnPSqLiteEventDao::createOrUpdate(int version) {
    if (version < 1) {
        if (auto db = database())
            db->executeUpdate(
                "CREATE TABLE events (identifier VARCHAR(255) NOT NULL PRIMARY KEY,eventType VARCHAR(255) "
                "NOT "
                "NULL,date DOUBLE NOT NULL,extra BLOB NOT NULL);");
    }
}

void ZarnPSqLiteEventDao::deleteEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events) {
    auto db = database();
    if (!db)
        return;
    inTransaction(*db, [&] {
        for (auto& e : events)
            if (e)
                db->executeUpdateWithParameterDictionary("DELETE FROM events WHERE identifier = :identifier",
                                                         {{"identifier", e->identifier()}});
    });
}

void ZarnPSqLiteEventDao::deleteAllEvents() {
    if (auto db = database())
        db->executeUpdate("DELETE FROM events");
}

void ZarnPSqLiteEventDao::saveEvent(const ZarnPEvent& event) {
    auto name = ZarnPLogEventType::nameForType(event.eventType());
    if (!name) {
        LogError(kDomain, "Failed to store event: unexpected event type %u", event.eventType());
        return;
    }
    if (!event.extra().is_object()) {
        LogNsError(kDomain, Error{"Zarn", -3, "Extra is not a dictionary"}, "Error in serializing extra");
        return;
    }
    std::string extra = ZarnPJson::serialise(event.extra());
    auto db = database();
    bool success = db && db->executeUpdateWithParameterDictionary(
                             "INSERT INTO events(identifier, eventType, date, extra) VALUES(:identifier, "
                             ":eventType, :date, :extra)",
                             {{"identifier", event.identifier()},
                              {"eventType", *name},
                              {"date", timeIntervalSince1970(event.date())},
                              {"extra", ZarnPSqlBlob{extra}}});
    Error error;
    if (setErrorOnError(&error, success))
        LogNsError(kDomain, error, "Failed to store event");
}

std::vector<std::shared_ptr<ZarnPEvent>> ZarnPSqLiteEventDao::getEvents() {
    std::vector<std::shared_ptr<ZarnPEvent>> events;
    auto db = database();
    if (!db)
        return events;
    auto rs =
        db->executeQuery(format("SELECT identifier, eventType, date, extra FROM events ORDER BY CASE WHEN "
                                "eventType = 'notification_sent' THEN 0 ELSE 1 END LIMIT %d;",
                                kBatchSize));
    if (!rs)
        return events;
    while (rs->next()) {
        auto identifier = rs->stringForColumn("identifier").value_or("");
        auto typeName = rs->stringForColumn("eventType").value_or("");
        auto type = ZarnPLogEventType::typeForName(typeName);
        if (!type) {
            LogError(kDomain, "Skipping event %@ of unknown type %@", identifier, typeName);
            continue;
        }
        Error error;
        auto extra = ZarnPJson::parse(rs->dataForColumn("extra").value_or(""), &error);
        if (!extra || !extra->is_object()) {
            if (extra)
                error = Error{"Zarn", -3, "Extra is not a dictionary"};
            LogNsError(kDomain, error, "Error in deserialization of extra");
            continue;
        }
        events.push_back(std::make_shared<ZarnPEvent>(
            identifier, *type, dateWithTimeIntervalSince1970(rs->doubleForColumn("date")),
            std::move(*extra)));
    }
    return events;
}

int ZarnPSqLiteEventDao::getEventCount() {
    auto db = database();
    auto rs = db ? db->executeQuery("SELECT COUNT(*) FROM events;") : nullptr;
    if (rs && rs->next())
        return rs->intForColumnIndex(0);
    LogDebug(kDomain, "Failed to count events");
    return 0;
}

void ZarnPSqLiteEventDao::limitEventsOfType(unsigned eventType, int limit) {
    auto name = ZarnPLogEventType::nameForType(eventType);
    auto db = database();
    if (!name || !db)
        return;
    inTransaction(*db, [&] {
        db->executeUpdateWithParameterDictionary(
            "DELETE FROM events WHERE identifier NOT IN( SELECT identifier FROM events WHERE eventType = "
            ":eventType "
            "ORDER BY date DESC LIMIT :limit) AND eventType = :eventType",
            {{"eventType", *name}, {"limit", limit}});
    });
}

}  // namespace zarn
