#include "store/ZarnPSqLiteBaseNotificationDao.h"

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPTransaction.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "BaseNotificationDao";

Error noConnection() {
    return Error{"Zarn", -3, ZarnPDatabaseException::kReason};
}
}  // namespace

ZarnPSqLiteBaseNotificationDao::ZarnPSqLiteBaseNotificationDao(
    std::shared_ptr<ZarnPSqLiteDb> db, std::string tablePrefix,
    std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao, std::shared_ptr<ZarnPClockDao> clockDao,
    Registration registration)
    : ZarnPSqLiteDao(std::move(db), registration),
      tablePrefix_(std::move(tablePrefix)),
      cooldownDao_(std::move(cooldownDao)),
      clockDao_(std::move(clockDao)) {
    ZARN_REQUIRE(cooldownDao_);
    ZARN_REQUIRE(clockDao_);
}

ZarnPSqLiteBaseNotificationDao::~ZarnPSqLiteBaseNotificationDao() = default;

std::string ZarnPSqLiteBaseNotificationDao::table(std::string_view name) const {
    std::string out = tablePrefix_;
    out += name;
    return out;
}

std::set<std::string> ZarnPSqLiteBaseNotificationDao::identifierSet(std::string_view sql,
                                                                    const ZarnPSqlParameters& parameters) {
    std::set<std::string> out;
    auto db = database();
    auto rs = db ? db->executeQueryWithParameterDictionary(sql, parameters) : nullptr;
    if (!rs)
        return out;
    while (rs->next())
        if (auto identifier = rs->stringForColumnIndex(0))
            out.insert(std::move(*identifier));
    return out;
}

std::vector<ZarnPSqLiteDao::TableShape> ZarnPSqLiteBaseNotificationDao::tableShapes() const {
    return {{table("notifications_user_has_to_exit_first"), "identifier"},
            {table("notifications_user_dwelling"), "identifier match_identifier enddate"},
            {table("notifications_segmentation_ids"), "notification_id segmentation_id"}};
}

std::optional<Error> ZarnPSqLiteBaseNotificationDao::markUserHasToLeaveFirst(const std::string& identifier) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    // A mark already there stays as it is: rewriting the same row would cost a commit for nothing.
    bool success = db && db->executeUpdateWithParameterDictionary(
                             ZarnPDurability::Normal,
                             "INSERT OR IGNORE INTO " + table("notifications_user_has_to_exit_first") +
                                 "(identifier) VALUES (:identifier)",
                             {{"identifier", identifier}});
    return errorAfterStatement(success);
}

std::optional<Error> ZarnPSqLiteBaseNotificationDao::replaceUserHasToLeaveFirstSet(
    const std::set<std::string>& identifiers) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    if (!db)
        return noConnection();
    try {
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        auto current = getUserHasToLeaveNotifications();
        const std::string deleteSql = "DELETE FROM " + table("notifications_user_has_to_exit_first") +
                                      " WHERE identifier = :identifier";
        const std::string insertSql = "INSERT INTO " + table("notifications_user_has_to_exit_first") +
                                      "(identifier) VALUES (:identifier)";
        for (const auto& identifier : current) {
            if (identifiers.count(identifier))
                continue;
            if (auto error = errorAfterStatement(
                    db->executeUpdateWithParameterDictionary(deleteSql, {{"identifier", identifier}})))
                return error;  // the guard rolls back
        }
        for (const auto& identifier : identifiers) {
            if (current.count(identifier))
                continue;
            if (auto error = errorAfterStatement(
                    db->executeUpdateWithParameterDictionary(insertSql, {{"identifier", identifier}})))
                return error;
        }
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        return e.error();
    }
    return std::nullopt;
}

std::set<std::string> ZarnPSqLiteBaseNotificationDao::getUserHasToLeaveNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return identifierSet("SELECT identifier FROM " + table("notifications_user_has_to_exit_first") + ";");
}

std::optional<Error> ZarnPSqLiteBaseNotificationDao::markUserStartedDwelling(
    const std::string& identifier, const std::string& matchIdentifier, Date endDate) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    bool success =
        db &&
        db->executeUpdateWithParameterDictionary(
            ZarnPDurability::Normal,
            "INSERT OR REPLACE INTO " + table("notifications_user_dwelling") +
                " (identifier, match_identifier, enddate) VALUES (:identifier, :matchIdentifier, :enddate)",
            {{"identifier", identifier},
             {"matchIdentifier", matchIdentifier},
             {"enddate", timeIntervalSince1970(endDate)}});
    return errorAfterStatement(success);
}

std::optional<Error> ZarnPSqLiteBaseNotificationDao::removeUserDwelling(const std::string& identifier) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    bool success =
        db && db->executeUpdateWithParameterDictionary(
                  ZarnPDurability::Normal,
                  "DELETE FROM " + table("notifications_user_dwelling") + " WHERE identifier = :identifier;",
                  {{"identifier", identifier}});
    return errorAfterStatement(success);
}

std::vector<ZarnPLocalNotificationDaoExpiredNotification>
ZarnPSqLiteBaseNotificationDao::expiredDwellingNotifications(Date date) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::vector<ZarnPLocalNotificationDaoExpiredNotification> out;
    auto db = database();
    auto rs = db ? db->executeQueryWithParameterDictionary(
                       "SELECT identifier, match_identifier, enddate FROM " +
                           table("notifications_user_dwelling") + " WHERE enddate < :enddate;",
                       {{"enddate", timeIntervalSince1970(date)}})
                 : nullptr;
    if (!rs)
        return out;
    while (rs->next())
        out.emplace_back(rs->stringForColumnIndex(0).value_or(""), rs->stringForColumnIndex(1).value_or(""),
                         dateWithTimeIntervalSince1970(rs->doubleForColumnIndex(2)));
    return out;
}

std::set<std::string> ZarnPSqLiteBaseNotificationDao::dwellingNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return identifierSet("SELECT identifier FROM " + table("notifications_user_dwelling") + ";");
}

bool ZarnPSqLiteBaseNotificationDao::isUserDwellingIn(const std::string& identifier) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return !identifierSet("SELECT identifier FROM " + table("notifications_user_dwelling") +
                              " WHERE identifier = :identifier",
                          {{"identifier", identifier}})
                .empty();
}

std::optional<Error> ZarnPSqLiteBaseNotificationDao::updateCooldownLastMatch(
    const std::string& notificationIdentifier, const std::vector<ZarnPCooldownGroup>& cooldownGroups) {
    ZARN_CHECK_SEQUENCE(sequence_);
    Date now = clockDao_->now();
    auto db = database();
    if (!db)
        return noConnection();
    try {
        // All groups get the one date, or none does.
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        for (const auto& group : cooldownGroups)
            if (auto error = cooldownDao_->setLastMatch(group.identifier(), now))
                return error;  // the guard rolls back
        LogDebug(kDomain, "Inserted %d cooldown group entries for %@",
                 static_cast<int>(cooldownGroups.size()), notificationIdentifier);
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        return e.error();
    }
    return std::nullopt;
}

std::optional<Date> ZarnPSqLiteBaseNotificationDao::lastCooldownGroupMatch(const std::string& cooldownGroup) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return cooldownDao_->lastCooldownGroupMatch(cooldownGroup);
}

std::optional<Error> ZarnPSqLiteBaseNotificationDao::saveNotificationTrigger(const std::string& identifier) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto segmentationIds = getSegmentationIds(identifier);
    double timestamp = timeIntervalSince1970(clockDao_->now());
    std::optional<Error> recorded;
    int inserted = 0;
    auto db = database();
    for (const auto& segmentationId : segmentationIds) {
        bool success =
            db && db->executeUpdateWithParameterDictionary(
                      ZarnPDurability::Normal,
                      "INSERT OR REPLACE INTO shared_notifications_segmentation_history(segmentation_id, "
                      "timestamp) VALUES (:segmentation_id, :timestamp)",
                      {{"segmentation_id", segmentationId}, {"timestamp", timestamp}});
        if (auto error = errorAfterStatement(success))
            recorded = std::move(error);
        else
            inserted += db->changes();
    }
    LogDebug(kDomain, "Inserted %d segmentation ids for %@", inserted, identifier);
    return recorded;
}

std::vector<std::string> ZarnPSqLiteBaseNotificationDao::getSegmentationIds(const std::string& identifier) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::vector<std::string> out;
    auto db = database();
    auto rs = db ? db->executeQueryWithParameterDictionary("SELECT segmentation_id FROM " +
                                                               table("notifications_segmentation_ids") +
                                                               " WHERE notification_id = :notification_id",
                                                           {{"notification_id", identifier}})
                 : nullptr;
    if (!rs)
        return out;
    while (rs->next())
        if (auto segmentationId = rs->stringForColumnIndex(0))
            out.push_back(std::move(*segmentationId));
    return out;
}

}  // namespace zarn
