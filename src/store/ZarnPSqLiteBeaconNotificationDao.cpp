#include "store/ZarnPSqLiteBeaconNotificationDao.h"

#include <algorithm>
#include <map>

#include "core/ZarnPBeaconUtil.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPMigrationSteps.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPSqliteDaoUtils.h"
#include "store/ZarnPTransaction.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteBeaconNotificationDao";
constexpr int kTargetVersion = 22;

std::optional<double> seconds(const std::optional<Date>& date) {
    if (!date)
        return std::nullopt;
    return timeIntervalSince1970(*date);
}

ZarnPBeaconNotification beaconNotificationOfRow(ZarnPResultSet& rs) {
    ZarnPBeaconNotification n;
    n.setIdentifier(rs.stringForColumnIndex(0).value_or(""));
    n.setMessage(rs.stringForColumnIndex(1));
    if (!rs.columnIndexIsNull(2))
        n.setMajorId(rs.intForColumnIndex(2));
    if (!rs.columnIndexIsNull(3))
        n.setMinorId(rs.intForColumnIndex(3));
    n.setData(rs.stringForColumnIndex(4));
    n.setMatchRange(rs.intForColumnIndex(5));
    n.setNotificationHandlerType(static_cast<uint32_t>(rs.longForColumnIndex(6)));
    n.setOfferedForMatch(rs.boolForColumnIndex(7));
    n.setTriggerOnExit(rs.boolForColumnIndex(8));
    n.setDwellingMinutes(rs.intForColumnIndex(9));
    n.setBeaconUuid(rs.stringForColumnIndex(10).value_or(""));
    return n;
}

// Hands each child row to `add` with the notification it belongs to (by the identifier in
// column 0); rows of no read notification are passed over.
template <typename Add>
void forEachOwnedRow(ZarnPResultSet& rows, const std::map<std::string, size_t>& index,
                     std::vector<ZarnPBeaconNotification>& notifications, Add add) {
    while (rows.next()) {
        auto it = index.find(rows.stringForColumnIndex(0).value_or(""));
        if (it != index.end())
            add(notifications[it->second], rows);
    }
}
}  // namespace

ZarnPSqLiteBeaconNotificationDao::ZarnPSqLiteBeaconNotificationDao(
    std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao,
    std::shared_ptr<ZarnPClockDao> clockDao)
    : ZarnPSqLiteBaseNotificationDao(std::move(db), "beacon_", std::move(cooldownDao), std::move(clockDao)) {}

std::vector<ZarnPSqLiteDao::TableShape> ZarnPSqLiteBeaconNotificationDao::tableShapes() const {
    auto shapes = ZarnPSqLiteBaseNotificationDao::tableShapes();
    shapes.insert(shapes.end(),
                  {{"beacon_notifications",
                    "identifier message majorId minorId data match_range notification_handler_type "
                    "offered_for_match trigger_on_exit dwelling_minutes beaconUuid"},
                   {"beacon_notifications_user_entered", "identifier date beaconUuid"},
                   {"beacon_notifications_timespans", "identifier start end"},
                   {"beacon_notifications_cooldown_groups", "identifier group_identifier cooldown"},
                   {"beacon_notifications_segmentation_properties", ""}});
    return shapes;
}

void ZarnPSqLiteBeaconNotificationDao::createOrUpdate(int version) {
    if (version < 16)
        LogDebug(kDomain, "Upgrading DB from %d to %d", version, kTargetVersion);
    ZarnPMigrationSteps steps(database());
    // A column is only ever added to a table that is there and lacks it, so that a file that
    // already has it (written by a release between two versions) does not fail on it.
    auto addColumn = [&](const char* table, const char* column, const char* sql) {
        if (!steps.failed() && steps.hasTable(table) && !steps.hasColumn(table, column))
            steps.run(sql);
    };
    if (version == 10)
        steps.group([&] {
            addColumn(
                "beacon_notifications_user_dwelling", "match_identifier",
                "ALTER TABLE beacon_notifications_user_dwelling ADD COLUMN match_identifier VARCHAR(255);");
        });
    if (version < 10)
        steps.group([&] {
            steps.run("DROP TABLE IF EXISTS beacon_notifications_user_has_to_exit_first;");
            steps.run(
                "CREATE TABLE beacon_notifications_user_has_to_exit_first (identifier VARCHAR(255) NOT NULL "
                "PRIMARY "
                "KEY)");
            steps.run("DROP TABLE IF EXISTS beacon_notifications_sent;");
            steps.run("DROP TABLE IF EXISTS beacon_notifications;");
            steps.run("DROP TABLE IF EXISTS beacon_notifications_user_entered;");
            steps.run("DROP TABLE IF EXISTS beacon_notifications_timespans;");
            steps.run("DROP TABLE IF EXISTS beacon_notifications_user_dwelling;");
            steps.run("DROP TABLE IF EXISTS beacon_notifications_cooldown_groups;");
            steps.run(
                "CREATE TABLE beacon_notifications (identifier VARCHAR(255) NOT NULL PRIMARY KEY,message "
                "VARCHAR(2048) NOT NULL,majorId INTEGER,minorId INTEGER,data VARCHAR(255) NOT "
                "NULL,match_range "
                "INTEGER NOT NULL,notification_handler_type INTEGER NOT NULL, offered_for_match BOOLEAN NOT "
                "NULL, "
                "trigger_on_exit BOOLEAN NOT NULL, dwelling_minutes INT NOT NULL);");
            steps.run(
                "CREATE TABLE beacon_notifications_user_dwelling (identifier VARCHAR(255) NOT NULL PRIMARY "
                "KEY,match_identifier VARCHAR(255) NOT NULL,enddate DOUBLE NOT NULL);");
            steps.run(
                "CREATE TABLE beacon_notifications_user_entered (identifier VARCHAR(255) NOT NULL PRIMARY "
                "KEY,date "
                "DOUBLE NOT NULL);");
            steps.run(
                "CREATE INDEX beacon_notifications_user_entered_date_idx ON "
                "beacon_notifications_user_entered "
                "(date);");
            steps.run(
                "CREATE TABLE beacon_notifications_timespans (identifier VARCHAR(255) NOT NULL,start "
                "DOUBLE,end "
                "DOUBLE);");
            steps.run(
                "CREATE INDEX beacon_notifications_timespans_idx ON beacon_notifications_timespans "
                "(identifier);");
            steps.run(
                "CREATE TABLE beacon_notifications_cooldown_groups (identifier VARCHAR(255) NOT "
                "NULL,group_identifier "
                "VARCHAR(255) NOT NULL,cooldown INTEGER NOT NULL);");
            steps.run(
                "CREATE INDEX beacon_notifications_cooldown_groups_idx ON "
                "beacon_notifications_cooldown_groups "
                "(identifier);");
        });
    if (version < 12)
        steps.group([&] {
            addColumn(
                "beacon_notifications_user_has_to_exit_first", "first_exit",
                "ALTER TABLE beacon_notifications_user_has_to_exit_first ADD COLUMN first_exit DOUBLE;");
        });
    if (version < 13)
        steps.group([&] {
            steps.run("DROP TABLE IF EXISTS beacon_notifications_segmentation_ids;");
            steps.run("DROP TABLE IF EXISTS beacon_notifications_segmentation_properties;");
            steps.run(
                "CREATE TABLE beacon_notifications_segmentation_ids (notification_id VARCHAR(255) NOT NULL, "
                "segmentation_id VARCHAR(255) NOT NULL, PRIMARY KEY(notification_id, segmentation_id));");
            steps.run(
                "CREATE TABLE beacon_notifications_segmentation_properties (notification_id VARCHAR(255) NOT "
                "NULL,segmentation_id VARCHAR(255) NOT NULL,occurrences INTEGER,operator "
                "INTEGER,interval_seconds "
                "INTEGER);");
        });
    if (version < 16)
        steps.group([&] {
            if (!steps.failed())
                if (auto error = deleteAll())
                    steps.fail(*error);
            addColumn("beacon_notifications", "beaconUuid",
                      "ALTER TABLE beacon_notifications ADD COLUMN beaconUuid VARCHAR(255);");
            steps.run("DELETE FROM beacon_notifications_user_entered;");
            addColumn("beacon_notifications_user_entered", "beaconUuid",
                      "ALTER TABLE beacon_notifications_user_entered ADD COLUMN beaconUuid VARCHAR(255);");
        });
    if (steps.failed())
        LogNsError(kDomain, *steps.error(), "Failed to upgrade DB");
}

std::optional<Error> ZarnPSqLiteBeaconNotificationDao::deleteAllNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return deleteAll();
}

std::optional<Error> ZarnPSqLiteBeaconNotificationDao::deleteAll() {
    auto db = database();
    std::optional<Error> recorded;
    for (const char* sql :
         {"DELETE FROM beacon_notifications WHERE 1;", "DELETE FROM beacon_notifications_timespans WHERE 1;",
          "DELETE FROM beacon_notifications_cooldown_groups WHERE 1;",
          "DELETE FROM beacon_notifications_segmentation_ids WHERE 1;",
          "DELETE FROM beacon_notifications_segmentation_properties WHERE 1;"})
        if (auto error = errorAfterStatement(db && db->executeUpdate(sql)))
            recorded = std::move(error);
    return recorded;
}

std::optional<Error> ZarnPSqLiteBeaconNotificationDao::save(const ZarnPBeaconNotification& n) {
    auto db = database();
    const auto& id = n.identifier();
    bool success =
        db &&
        db->executeUpdateWithParameters(
            "INSERT INTO beacon_notifications (identifier, message, majorId, minorId, data, match_range, "
            "notification_handler_type, offered_for_match, trigger_on_exit, dwelling_minutes, beaconUuid) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            {id, n.message().value_or(""), n.majorId(), n.minorId(), n.data().value_or(""), n.matchRange(),
             n.notificationHandlerType(), n.offeredForMatch(), n.triggerOnExit(), n.dwellingMinutes(),
             n.beaconUuid()});
    if (auto error = errorAfterStatement(success))
        return error;
    for (const auto& span : n.timespans())
        if (auto error = errorAfterStatement(db->executeUpdate(
                "INSERT INTO beacon_notifications_timespans (identifier, start, end) VALUES (?, ?, ?)", id,
                seconds(span.start()), seconds(span.end()))))
            return error;
    for (const auto& group : n.cooldownGroups())
        if (auto error =
                errorAfterStatement(db->executeUpdate("INSERT INTO beacon_notifications_cooldown_groups "
                                                      "(identifier, group_identifier, cooldown) VALUES "
                                                      "(?, ?, ?)",
                                                      id, group.identifier(), group.duration())))
            return error;
    for (const auto& segmentationId : n.segmentationIds())
        if (auto error = errorAfterStatement(
                db->executeUpdate("INSERT OR IGNORE INTO beacon_notifications_segmentation_ids "
                                  "(notification_id, segmentation_id) "
                                  "VALUES (?, ?)",
                                  id, segmentationId)))
            return error;
    return std::nullopt;
}

std::optional<Error> ZarnPSqLiteBeaconNotificationDao::addNotifications(
    const std::vector<ZarnPBeaconNotification>& notifications) {
    ZARN_CHECK_SEQUENCE(sequence_);
    try {
        ZarnPTransaction transaction(database(), ZarnPDurability::Normal,
                                     ZarnPTransaction::Mode::JoinOrBegin);
        for (const auto& notification : notifications)
            if (auto error = save(notification))
                return error;  // the guard rolls back
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        return e.error();
    }
    return std::nullopt;
}

std::optional<Error> ZarnPSqLiteBeaconNotificationDao::replaceNotifications(
    const std::vector<ZarnPBeaconNotification>& notifications) {
    ZARN_CHECK_SEQUENCE(sequence_);
    try {
        ZarnPTransaction transaction(database(), ZarnPDurability::Normal,
                                     ZarnPTransaction::Mode::JoinOrBegin);
        if (auto error = deleteAll())
            return error;
        for (const auto& notification : notifications)
            if (auto error = save(notification))
                return error;
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        return e.error();
    }
    return std::nullopt;
}

std::optional<Error> ZarnPSqLiteBeaconNotificationDao::markNotificationOffered(
    const ZarnPBeaconNotification& notification, bool value) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    return errorAfterStatement(
        db && db->executeUpdate("UPDATE beacon_notifications SET offered_for_match = ? WHERE "
                                "identifier = ?",
                                value, notification.identifier()));
}

std::optional<Error> ZarnPSqLiteBeaconNotificationDao::deleteNotifications(
    const std::vector<ZarnPBeaconNotification>& notifications) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    try {
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        for (const auto& notification : notifications)
            for (const char* sql :
                 {"DELETE FROM beacon_notifications WHERE identifier = ?",
                  "DELETE FROM beacon_notifications_timespans WHERE identifier = ?",
                  "DELETE FROM beacon_notifications_cooldown_groups WHERE identifier = ?",
                  "DELETE FROM beacon_notifications_segmentation_ids WHERE notification_id = ?"})
                if (auto error = errorAfterStatement(db->executeUpdate(sql, notification.identifier())))
                    return error;
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        return e.error();
    }
    return std::nullopt;
}

bool ZarnPSqLiteBeaconNotificationDao::markUserEntered(bool entered, const std::string& identifier,
                                                       const Uuid& beaconUuid, Error* error) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (ZarnPSqliteDaoUtils::holdsError(error))
        return false;
    auto db = database();
    if (!db) {
        setErrorOnError(error, false);
        return true;
    }
    auto uuid = ZarnPBeaconUtil::uuidToSaveString(beaconUuid);
    const ZarnPSqlParameters forget{{"identifier", identifier}, {"uuid", uuid}};
    constexpr const char* kForget =
        "DELETE FROM beacon_notifications_user_entered WHERE identifier = :identifier and beaconUuid = :uuid";
    if (!entered) {
        setErrorOnError(error, db->executeUpdateWithParameterDictionary(kForget, forget));
        return true;
    }
    try {
        // The old mark goes and the new one comes in one commit.
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        bool success = db->executeUpdateWithParameterDictionary(kForget, forget) &&
                       db->executeUpdateWithParameterDictionary(
                           "INSERT INTO beacon_notifications_user_entered (identifier, date, beaconUuid) "
                           "VALUES (:identifier, :date, :uuid)",
                           {{"identifier", identifier},
                            {"date", timeIntervalSince1970(clockDao()->now())},
                            {"uuid", uuid}});
        if (setErrorOnError(error, success))
            return true;  // the guard rolls back
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        if (error)
            *error = e.error();
    }
    return true;
}

std::set<std::string> ZarnPSqLiteBeaconNotificationDao::enteredUnder(const std::vector<Uuid>& beaconUuids,
                                                                     const char* extraCondition,
                                                                     const std::optional<double>& extra) {
    std::set<std::string> out;
    auto db = database();
    if (!db)
        return out;
    ZarnPSqliteDaoUtils::inSlices(uuidsToStrings(beaconUuids), [&](std::vector<ZarnPSqlValue> parameters) {
        std::string sql = "SELECT identifier FROM beacon_notifications_user_entered WHERE beaconUuid IN (" +
                          ZarnPSqliteDaoUtils::generateParameterPlaceholders(parameters.size()) + ")" +
                          extraCondition;
        if (extra)
            parameters.emplace_back(*extra);
        if (auto rs = db->executeQueryWithArgumentsInArray(sql, parameters))
            while (rs->next())
                if (auto identifier = rs->stringForColumnIndex(0))
                    out.insert(std::move(*identifier));
    });
    return out;
}

std::set<std::string> ZarnPSqLiteBeaconNotificationDao::getEnteredIdsForBeaconUuids(
    const std::vector<Uuid>& beaconUuids) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return enteredUnder(beaconUuids, "", std::nullopt);
}

std::set<std::string> ZarnPSqLiteBeaconNotificationDao::getJustEnteredNotificationsForBeaconUuids(
    const std::vector<Uuid>& beaconUuids) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (beaconUuids.empty())
        return {};
    return enteredUnder(beaconUuids, " AND ? - date < 5000", timeIntervalSince1970(clockDao()->now()));
}

void ZarnPSqLiteBeaconNotificationDao::removeEnteredIds(const std::vector<std::string>& identifiers) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    if (!db)
        return;
    ZarnPSqliteDaoUtils::inSlices(identifiers, [&](const std::vector<ZarnPSqlValue>& parameters) {
        db->executeUpdateWithParameters(
            "DELETE FROM beacon_notifications_user_entered WHERE identifier IN ( " +
                ZarnPSqliteDaoUtils::generateParameterPlaceholders(parameters.size()) + " )",
            parameters);
    });
}

void ZarnPSqLiteBeaconNotificationDao::saveEntered(const std::map<std::string, platform::Beacon>& entered) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    if (!db)
        return;
    double now = timeIntervalSince1970(clockDao()->now());
    for (const auto& [identifier, beacon] : entered)
        db->executeUpdate(
            "INSERT INTO beacon_notifications_user_entered(identifier, beaconUuid, date) VALUES(?, ?, ?)",
            identifier, ZarnPBeaconUtil::uuidToSaveString(Uuid(beacon.proximityUuid)), now);
}

std::optional<Error> ZarnPSqLiteBeaconNotificationDao::clearNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    std::optional<Error> recorded;
    for (const char* sql :
         {"DELETE FROM beacon_notifications_timespans;", "DELETE FROM beacon_notifications;",
          "DELETE FROM beacon_notifications_user_entered;",
          "DELETE FROM beacon_notifications_cooldown_groups;",
          "DELETE FROM beacon_notifications_user_has_to_exit_first;",
          "DELETE FROM beacon_notifications_user_dwelling;",
          "DELETE FROM beacon_notifications_segmentation_ids;",
          "DELETE FROM beacon_notifications_segmentation_properties;"})
        if (auto error = errorAfterStatement(db && db->executeUpdate(sql)))
            recorded = std::move(error);
    return recorded;
}

std::vector<ZarnPBeaconNotification> ZarnPSqLiteBeaconNotificationDao::getAllWithError(Error* error) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::vector<ZarnPBeaconNotification> out;
    auto db = database();
    auto fail = [&] {
        setErrorOnError(error, false);
        return std::vector<ZarnPBeaconNotification>{};
    };
    auto rs =
        db ? db->executeQuery(
                 "SELECT identifier, message, majorId, minorId, data, match_range, "
                 "notification_handler_type, "
                 "offered_for_match, trigger_on_exit, dwelling_minutes, beaconUuid FROM beacon_notifications "
                 "ORDER BY rowid")
           : nullptr;
    if (!rs)
        return fail();
    std::map<std::string, size_t> index;
    while (rs->next()) {
        ZarnPBeaconNotification n = beaconNotificationOfRow(*rs);
        index.emplace(n.identifier(), out.size());
        out.push_back(std::move(n));
    }
    if (db->hadError())
        return fail();
    auto spans =
        db->executeQuery("SELECT identifier, start, end FROM beacon_notifications_timespans ORDER BY rowid");
    auto groups = db->executeQuery(
        "SELECT identifier, group_identifier, cooldown FROM beacon_notifications_cooldown_groups ORDER BY "
        "rowid");
    auto segmentation = db->executeQuery(
        "SELECT notification_id, segmentation_id FROM beacon_notifications_segmentation_ids ORDER BY rowid");
    if (!spans || !groups || !segmentation)
        return fail();
    forEachOwnedRow(*spans, index, out, [](ZarnPBeaconNotification& n, ZarnPResultSet& row) {
        auto list = n.timespans();
        list.emplace_back(row.dateForColumnIndex(1), row.dateForColumnIndex(2));
        n.setTimespans(std::move(list));
    });
    forEachOwnedRow(*groups, index, out, [](ZarnPBeaconNotification& n, ZarnPResultSet& row) {
        auto list = n.cooldownGroups();
        list.emplace_back(row.stringForColumnIndex(1).value_or(""), row.intForColumnIndex(2));
        n.setCooldownGroups(std::move(list));
    });
    forEachOwnedRow(*segmentation, index, out, [](ZarnPBeaconNotification& n, ZarnPResultSet& row) {
        auto list = n.segmentationIds();
        list.push_back(row.stringForColumnIndex(1).value_or(""));
        n.setSegmentationIds(std::move(list));
    });
    return out;
}

std::vector<std::string> ZarnPSqLiteBeaconNotificationDao::uuidsToStrings(
    const std::vector<Uuid>& beaconUuids) {
    std::vector<std::string> out;
    out.reserve(beaconUuids.size());
    for (const auto& uuid : beaconUuids) out.push_back(ZarnPBeaconUtil::uuidToSaveString(uuid));
    return out;
}

}  // namespace zarn
