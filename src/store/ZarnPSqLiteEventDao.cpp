#include "store/ZarnPSqLiteEventDao.h"

#include <algorithm>

#include "core/ZarnPEvent.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPTransaction.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteEventDao";
constexpr int kBatchSize = 100;
constexpr int64_t kUnknownCount = -1;
constexpr const char* kLimitSql =
    "DELETE FROM events WHERE identifier NOT IN( SELECT identifier FROM events WHERE eventType = "
    ":eventType ORDER BY date DESC LIMIT :limit) AND eventType = :eventType";
// What kLimitSql deletes when the type's count is known, without walking the rows it keeps: the
// oldest past the limit through the (eventType, date) index, whose walk settles ties in date as
// kLimitSql's does (of two rows of one date, the higher rowid stays).
constexpr const char* kDeleteOldestSql =
    "DELETE FROM events WHERE rowid IN (SELECT rowid FROM events WHERE eventType = :eventType ORDER BY "
    "date, rowid LIMIT :excess)";
}  // namespace

void ZarnPSqLiteEventDao::createOrUpdate(int version) {
    auto db = database();
    if (!db)
        return;
    if (version < 1)
        db->executeUpdate(
            "CREATE TABLE IF NOT EXISTS events (identifier VARCHAR(255) NOT NULL PRIMARY KEY,eventType "
            "VARCHAR(255) NOT "
            "NULL,date DOUBLE NOT NULL,extra BLOB NOT NULL);");
    // Serves the cap and the counts; earlier code reads and writes the table as before.
    db->executeUpdate("CREATE INDEX IF NOT EXISTS events_eventType_date ON events(eventType, date)");
    // No count is read here: the opening reads no page it does not need, and the first capped
    // save of a type counts that type through the index.
    followConnection(db);
}

void ZarnPSqLiteEventDao::followConnection(const std::shared_ptr<ZarnPDatabase>& db) {
    if (countedOn_.lock() == db)
        return;
    forgetCounts();
    countedOn_ = db;
}

void ZarnPSqLiteEventDao::forgetCount(const std::string& typeName) {
    counts_.erase(typeName);
    countsComplete_ = false;
}

void ZarnPSqLiteEventDao::forgetCounts() {
    counts_.clear();
    countsComplete_ = false;
}

int64_t ZarnPSqLiteEventDao::countOfType(const std::shared_ptr<ZarnPDatabase>& db,
                                         const std::string& typeName) {
    if (auto it = counts_.find(typeName); it != counts_.end())
        return it->second;
    if (countsComplete_)
        return 0;
    auto rs = db->executeQueryWithParameterDictionary(
        "SELECT COUNT(*) FROM events WHERE eventType = :eventType", {{"eventType", typeName}});
    if (!rs || !rs->next())
        return kUnknownCount;
    int64_t count = rs->longForColumnIndex(0);
    counts_[typeName] = count;
    return count;
}

void ZarnPSqLiteEventDao::deleteEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    if (!db || events.empty())
        return;
    followConnection(db);
    int64_t removed = 0;
    bool failed = false;
    try {
        ZarnPTransaction transaction(db, ZarnPDurability::Full, ZarnPTransaction::Mode::JoinOrBegin);
        for (auto& e : events)
            if (e &&
                db->executeUpdateWithParameterDictionary("DELETE FROM events WHERE identifier = :identifier",
                                                         {{"identifier", e->identifier()}}))
                removed += db->changes();
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        LogNsError(kDomain, e.error(), "Failed to delete events");
        failed = true;
    }
    // The rows' own types are not read back: the next capped save counts again.
    if (removed > 0 || failed)
        forgetCounts();
}

void ZarnPSqLiteEventDao::deleteAllEvents() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    if (!db)
        return;
    followConnection(db);
    bool deleted = db->executeUpdate("DELETE FROM events");
    forgetCounts();
    // Inside a caller's transaction the table may yet come back.
    countsComplete_ = deleted && !db->hasOpenTransaction();
}

bool ZarnPSqLiteEventDao::insert(ZarnPDatabase& db, const ZarnPEvent& event, const std::string& typeName,
                                 const std::string& extra) {
    // Nobody hears of an event until the service has it; a notification's joins the show's commit.
    bool success = db.executeUpdateWithParameterDictionary(
        ZarnPDurability::Normal,
        "INSERT INTO events(identifier, eventType, date, extra) VALUES(:identifier, :eventType, :date, "
        ":extra)",
        {{"identifier", event.identifier()},
         {"eventType", typeName},
         {"date", timeIntervalSince1970(event.date())},
         {"extra", ZarnPSqlBlob{extra}}});
    Error error;
    if (setErrorOnError(&error, success)) {
        LogNsError(kDomain, error, "Failed to store event");
        return false;
    }
    return true;
}

bool ZarnPSqLiteEventDao::applyLimit(ZarnPDatabase& db, const std::string& typeName, int limit,
                                     int64_t count) {
    if (count == kUnknownCount)
        return db.executeUpdateWithParameterDictionary(kLimitSql,
                                                       {{"eventType", typeName}, {"limit", limit}});
    // A negative limit keeps every event, as a negative LIMIT does.
    int64_t excess = limit < 0 ? 0 : std::max<int64_t>(count - limit, 0);
    return db.executeUpdateWithParameterDictionary(kDeleteOldestSql,
                                                   {{"eventType", typeName}, {"excess", excess}});
}

namespace {
// The wire name and the JSON text of a storable event; nothing (logged) otherwise.
std::optional<std::pair<std::string, std::string>> storable(const ZarnPEvent& event) {
    auto name = ZarnPLogEventType::nameForType(event.eventType());
    if (!name) {
        LogError(kDomain, "Failed to store event: unexpected event type %u", event.eventType());
        return std::nullopt;
    }
    if (!event.extra().is_object()) {
        LogNsError(kDomain, Error{"Zarn", -3, "Extra is not a dictionary"}, "Error in serializing extra");
        return std::nullopt;
    }
    return std::make_pair(*name, ZarnPJson::serialise(event.extra()));
}
}  // namespace

void ZarnPSqLiteEventDao::saveEvent(const ZarnPEvent& event) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto parts = storable(event);
    if (!parts)
        return;
    const auto& [name, extra] = *parts;
    auto db = database();
    if (!db) {
        LogNsError(kDomain, Error{"Zarn", -3, ZarnPDatabaseException::kReason}, "Failed to store event");
        return;
    }
    followConnection(db);
    bool stored = insert(*db, event, name, extra);
    auto it = counts_.find(name);
    if (!stored || db->hasOpenTransaction())
        forgetCount(name);
    else if (it != counts_.end())
        ++it->second;
    else if (countsComplete_)
        counts_[name] = 1;
}

void ZarnPSqLiteEventDao::saveEvent(const ZarnPEvent& event, int limit) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto parts = storable(event);
    if (!parts)
        return;
    const auto& [name, extra] = *parts;
    auto db = database();
    if (!db) {
        LogNsError(kDomain, Error{"Zarn", -3, ZarnPDatabaseException::kReason}, "Failed to store event");
        return;
    }
    followConnection(db);
    try {
        // The event and its cap are one commit: one fdatasync.
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        int64_t count = countOfType(db, name);
        if (!insert(*db, event, name, extra)) {
            forgetCount(name);
            return;  // nothing written: the guard rolls back
        }
        if (count != kUnknownCount)
            ++count;
        // Within the limit the cap would delete nothing; skipped while the count is sure.
        if (count == kUnknownCount || count > limit) {
            if (applyLimit(*db, name, limit, count) && count != kUnknownCount)
                count -= db->changes();
            else
                count = kUnknownCount;
        }
        transaction.commit();
        if (count != kUnknownCount && transaction.ownsTransaction())
            counts_[name] = count;
        else
            forgetCount(name);
    } catch (const ZarnPDatabaseException& e) {
        LogNsError(kDomain, e.error(), "Failed to store event");
        forgetCount(name);
    }
}

std::vector<std::shared_ptr<ZarnPEvent>> ZarnPSqLiteEventDao::getEvents() {
    ZARN_CHECK_SEQUENCE(sequence_);
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
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    auto rs = db ? db->executeQuery("SELECT COUNT(*) FROM events;") : nullptr;
    if (rs && rs->next())
        return rs->intForColumnIndex(0);
    LogDebug(kDomain, "Failed to count events");
    return 0;
}

void ZarnPSqLiteEventDao::limitEventsOfType(unsigned eventType, int limit) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto name = ZarnPLogEventType::nameForType(eventType);
    auto db = database();
    if (!name || !db)
        return;
    followConnection(db);
    int64_t count = kUnknownCount;
    try {
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        count = countOfType(db, *name);
        if (applyLimit(*db, *name, limit, count) && count != kUnknownCount)
            count -= db->changes();
        else
            count = kUnknownCount;
        transaction.commit();
        if (!transaction.ownsTransaction())
            count = kUnknownCount;
    } catch (const ZarnPDatabaseException& e) {
        LogNsError(kDomain, e.error(), "Failed to limit events");
        count = kUnknownCount;
    }
    if (count != kUnknownCount)
        counts_[*name] = count;
    else
        forgetCount(*name);
}

}  // namespace zarn
