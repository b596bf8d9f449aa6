#include "store/ZarnPSqLiteNotificationDao.h"

#include <algorithm>
#include <unordered_set>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPMigrationSteps.h"
#include "store/ZarnPNotificationReadDao.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteNotificationAreaDao.h"
#include "store/ZarnPSqliteDaoUtils.h"
#include "store/ZarnPTransaction.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteNotificationDao";
constexpr int kTargetVersion = 22;
}  // namespace

ZarnPSqLiteNotificationDao::ZarnPSqLiteNotificationDao(
    std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao,
    std::shared_ptr<ZarnPClockDao> clockDao, std::shared_ptr<ZarnPNotificationReadDao> notificationReadDao)
    : ZarnPSqLiteBaseNotificationDao(std::move(db), "", std::move(cooldownDao), std::move(clockDao)),
      notificationReadDao_(std::move(notificationReadDao)) {
    ZARN_REQUIRE(notificationReadDao_);
}

std::vector<ZarnPSqLiteDao::TableShape> ZarnPSqLiteNotificationDao::tableShapes() const {
    auto shapes = ZarnPSqLiteBaseNotificationDao::tableShapes();
    shapes.insert(shapes.end(), {{"notifications_user_entered", "identifier date"},
                                 {"notifications_timespans", ""},
                                 {"notifications_cooldown_groups", ""},
                                 {"notifications_segmentation_properties", ""},
                                 {"shared_notifications_segmentation_history", "segmentation_id timestamp"}});
    return shapes;
}

void ZarnPSqLiteNotificationDao::createOrUpdate(int version) {
    if (version < 13)
        LogDebug(kDomain, "Upgrading DB from %d to %d", version, kTargetVersion);
    ZarnPMigrationSteps steps(database());
    // Files of versions 8 to 10 may or may not have the match identifier. A column is only ever
    // added to a table that is there and lacks it, so that such a file does not fail on it.
    auto addColumn = [&](const char* table, const char* column, const char* sql) {
        if (steps.hasTable(table) && !steps.hasColumn(table, column))
            steps.group([&] { steps.run(sql); });
    };
    if (version >= 8 && version <= 10)
        addColumn("notifications_user_dwelling", "match_identifier",
                  "ALTER TABLE notifications_user_dwelling ADD COLUMN match_identifier VARCHAR(255);");
    if (version < 10)
        steps.group([&] {
            steps.run("DROP TABLE IF EXISTS notifications_user_has_to_exit_first;");
            steps.run(
                "CREATE TABLE notifications_user_has_to_exit_first (identifier VARCHAR(255) NOT NULL PRIMARY "
                "KEY);");
        });
    if (version == 8) {
        addColumn(
            "notifications", "notification_handler_type",
            "ALTER TABLE notifications ADD COLUMN notification_handler_type INTEGER NOT NULL DEFAULT 0;");
    } else if (version < 8) {
        steps.group([&] {
            steps.run("DROP TABLE IF EXISTS notifications;");
            steps.run("DROP TABLE IF EXISTS notifications_timespans;");
            steps.run("DROP TABLE IF EXISTS notifications_user_entered;");
            steps.run("DROP TABLE IF EXISTS notifications_user_dwelling;");
            steps.run("DROP TABLE IF EXISTS notifications_cooldown_groups;");
            steps.run(
                "CREATE TABLE notifications_user_entered (identifier VARCHAR(255) NOT NULL PRIMARY KEY,date "
                "DOUBLE "
                "NOT NULL);");
            steps.run(
                "CREATE TABLE notifications_user_dwelling (identifier VARCHAR(255) NOT NULL PRIMARY "
                "KEY,match_identifier VARCHAR(255) NOT NULL,enddate DOUBLE NOT NULL);");
            steps.run(
                "CREATE TABLE notifications_timespans (identifier VARCHAR(255) NOT NULL,start DOUBLE,end "
                "DOUBLE);");
            steps.run("CREATE INDEX notifications_timespans_idx ON notifications_timespans (identifier);");
            steps.run(
                "CREATE TABLE notifications_cooldown_groups (identifier VARCHAR(255) NOT NULL, "
                "group_identifier "
                "VARCHAR(255) NOT NULL, cooldown INTEGER NOT NULL, PRIMARY KEY(identifier, "
                "group_identifier));");
        });
    }
    if (version < 13)
        steps.group([&] {
            steps.run("DROP TABLE IF EXISTS notifications_segmentation_ids;");
            steps.run("DROP TABLE IF EXISTS notifications_segmentation_properties;");
            steps.run("DROP TABLE IF EXISTS shared_notifications_segmentation_history;");
            steps.run(
                "CREATE TABLE notifications_segmentation_ids (notification_id VARCHAR(255) NOT NULL, "
                "segmentation_id VARCHAR(255) NOT NULL, PRIMARY KEY(notification_id, segmentation_id) );");
            steps.run(
                "CREATE TABLE notifications_segmentation_properties (notification_id VARCHAR(255) NOT "
                "NULL,segmentation_id VARCHAR(255) NOT NULL,occurrences INTEGER,operator "
                "INTEGER,interval_seconds "
                "INTEGER);");
            steps.run(
                "CREATE TABLE shared_notifications_segmentation_history (segmentation_id VARCHAR(255) NOT "
                "NULL, "
                "timestamp DOUBLE NOT NULL, PRIMARY KEY(segmentation_id, timestamp));");
        });
    if (steps.failed())
        LogNsError(kDomain, *steps.error(), "Failed to create DB");
}

// Notification rows come from the data-update save alone.
std::optional<Error> ZarnPSqLiteNotificationDao::addNotifications(const std::vector<ZarnPNotification>&) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return std::nullopt;
}

std::optional<Error> ZarnPSqLiteNotificationDao::replaceNotifications(const std::vector<ZarnPNotification>&) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return std::nullopt;
}

std::optional<Error> ZarnPSqLiteNotificationDao::markNotificationOffered(const ZarnPNotification&, bool) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return std::nullopt;
}

std::optional<Error> ZarnPSqLiteNotificationDao::deleteNotifications(const std::vector<ZarnPNotification>&) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return std::nullopt;
}

std::optional<std::vector<ZarnPNotification>> ZarnPSqLiteNotificationDao::getAllNotificationsActiveOn(
    Date, Date, bool, Error*) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return std::nullopt;
}

bool ZarnPSqLiteNotificationDao::markUserEntered(bool entered, const std::string& identifier, Error* error) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (ZarnPSqliteDaoUtils::holdsError(error))
        return false;
    auto db = database();
    if (!db) {
        setErrorOnError(error, false);
        return true;
    }
    const ZarnPSqlParameters forget{{"identifier", identifier}};
    constexpr const char* kForget = "DELETE FROM notifications_user_entered WHERE identifier = :identifier";
    if (!entered) {
        setErrorOnError(error, db->executeUpdateWithParameterDictionary(kForget, forget));
        return true;
    }
    try {
        // The old mark goes and the new one comes in one commit.
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        bool success =
            db->executeUpdateWithParameterDictionary(kForget, forget) &&
            db->executeUpdateWithParameterDictionary(
                "INSERT INTO notifications_user_entered (identifier, date) VALUES (:identifier, :date)",
                {{"identifier", identifier}, {"date", timeIntervalSince1970(clockDao()->now())}});
        if (setErrorOnError(error, success))
            return true;  // the guard rolls back
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        if (error)
            *error = e.error();
    }
    return true;
}

std::set<std::string> ZarnPSqLiteNotificationDao::getUserEntered() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return identifierSet("SELECT identifier FROM notifications_user_entered");
}

std::vector<std::string> ZarnPSqLiteNotificationDao::getAndPurgeUserEntered(
    const std::vector<std::string>& keep) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::vector<std::string> purged;
    auto db = database();
    if (!db)
        return purged;
    // The keep-list is bound, never spliced; a list too long for one statement is applied here.
    bool bindKeep = !keep.empty() && keep.size() <= ZarnPSqliteDaoUtils::kMaxBoundIds;
    std::vector<ZarnPSqlValue> parameters;
    std::string sql = "SELECT identifier FROM notifications_user_entered";
    if (bindKeep) {
        sql += " WHERE identifier NOT IN (" +
               ZarnPSqliteDaoUtils::generateParameterPlaceholders(keep.size()) + ")";
        parameters.assign(keep.begin(), keep.end());
    }
    std::unordered_set<std::string> kept;
    if (!bindKeep)
        kept.insert(keep.begin(), keep.end());
    std::vector<std::string> rows;
    if (auto rs = db->executeQueryWithArgumentsInArray(sql, parameters)) {
        while (rs->next())
            if (auto identifier = rs->stringForColumnIndex(0); identifier && !kept.count(*identifier))
                rows.push_back(std::move(*identifier));
    }
    if (rows.empty())
        return purged;
    Error error;
    try {
        // One commit for the whole purge; what was deleted before a failure stays deleted.
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        for (const auto& identifier : rows) markUserEntered(false, identifier, &error);
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        if (!ZarnPSqliteDaoUtils::holdsError(&error))
            error = e.error();
    }
    purged = std::move(rows);
    if (ZarnPSqliteDaoUtils::holdsError(&error))
        LogNsError(kDomain, error, "Failed to purge entered notifications");
    return purged;
}

std::vector<ZarnPNotification> ZarnPSqLiteNotificationDao::getAllWithError(
    Error*, const ZarnPLocationWithAccuracy& location) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto all = notificationReadDao_->findNearestGeofenceNotifications(location, true, {});
    auto beacons = notificationReadDao_->findNearestBeaconNotifications(location, true, {});
    auto external = notificationReadDao_->findNearestExternalNotifications(location, true, {});
    all.insert(all.end(), std::make_move_iterator(beacons.begin()), std::make_move_iterator(beacons.end()));
    all.insert(all.end(), std::make_move_iterator(external.begin()), std::make_move_iterator(external.end()));
    return all;
}

std::optional<Error> ZarnPSqLiteNotificationDao::clearNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    std::optional<Error> recorded;
    auto run = [&](const char* sql) {
        bool success = db && db->executeUpdate(sql);
        if (auto error = errorAfterStatement(success))
            recorded = std::move(error);
    };
    run("DELETE FROM notifications_timespans;");
    run("DELETE FROM notifications_user_entered;");
    run("DELETE FROM notifications_user_has_to_exit_first;");
    run("DELETE FROM notifications_user_dwelling;");
    run("DELETE FROM shared_notifications_segmentation_history;");
    cooldownDao()->clearAllMatches();
    // Triggers left by an index dropped elsewhere would refuse the deletion below.
    if (db)
        ZarnPSqLiteNotificationAreaDao::dropLeftovers(*db);
    // A notification is kept only while the user is inside it, each row judged on its own
    // campaign and geofence id; with the entered set emptied above, every row goes.
    run("DELETE FROM notification WHERE NOT EXISTS (SELECT 1 FROM notifications_user_entered e JOIN campaign "
        "c ON "
        "c.id = notification.campaignid WHERE e.identifier = c.server_id || ';' || "
        "notification.geofence_id);");
    run("DELETE FROM notifications_cooldown_groups;");
    run("DELETE FROM notifications_segmentation_ids;");
    run("DELETE FROM notifications_segmentation_properties;");
    notificationReadDao_->invalidate();
    return recorded;
}

}  // namespace zarn
