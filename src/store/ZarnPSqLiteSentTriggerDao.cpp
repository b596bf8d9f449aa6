#include "store/ZarnPSqLiteSentTriggerDao.h"

#include "core/Format.h"
#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPSentTrigger.h"
#include "core/ZarnPUserInfoKeys.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPTransaction.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SentTriggerDao";
constexpr const char* kNotificationTable = "notification_sent";
constexpr const char* kGeotriggerTable = "geotrigger_sent";

constexpr const char* kColumns =
    "match_identifier, identifier, message, latitude, longitude, data, match_range, "
    "notification_handler_type, is_beacon, trigger_on_exit, dwelling_minutes, date_sent, date_opened, "
    "beaconUuid, region_type";

// The layout writes the region type as its name; a number is read as it stands.
int regionTypeOf(const Value& userInfo) {
    auto name = ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kRegionType);
    if (name == userinfo::kRegionGeofence || name == userinfo::kRegionBeacon ||
        name == userinfo::kRegionExternal)
        return ZarnPNotificationRegionType::StringToRegion(name);
    return ZarnPDictionaryHelper::intEntry(userInfo, userinfo::kRegionType);
}

// The row of a sent trigger, from the userInfo of its request.
ZarnPSqlParameters sentTriggerRow(const Value& userInfo, const std::string& matchIdentifier,
                                  const std::string& identifier, unsigned handlerType,
                                  std::optional<Date> now) {
    int regionType = regionTypeOf(userInfo);
    auto latitude = ZarnPDictionaryHelper::entry(userInfo, userinfo::kGeofenceLatitude);
    auto longitude = ZarnPDictionaryHelper::entry(userInfo, userinfo::kGeofenceLongitude);
    bool hasLocation = latitude && longitude;
    return {
        {"match_identifier", matchIdentifier},
        {"identifier", identifier},
        {"message", ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kMessage).value_or("")},
        {"latitude",
         hasLocation ? ZarnPSqlValue(ZarnPDictionaryHelper::doubleValueOf(*latitude)) : ZarnPSqlValue()},
        {"longitude",
         hasLocation ? ZarnPSqlValue(ZarnPDictionaryHelper::doubleValueOf(*longitude)) : ZarnPSqlValue()},
        {"data", ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kAction).value_or("NULL")},
        {"match_range", ZarnPDictionaryHelper::intEntry(userInfo, userinfo::kMatchRange)},
        {"notification_handler_type", handlerType},
        {"is_beacon", regionType == ZarnPNotificationRegionTypeBeacon},
        {"trigger_on_exit",
         ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kTrigger) == userinfo::kTriggerExit},
        {"dwelling_minutes", ZarnPDictionaryHelper::intEntry(userInfo, userinfo::kDwellingMinutes)},
        {"date_sent", now ? ZarnPSqlValue(*now) : ZarnPSqlValue()},
        {"beaconUuid", ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kBeaconUuid).value_or("NULL")},
        {"region_type", regionType},
    };
}
}  // namespace

std::optional<Error> ZarnPSqLiteSentTriggerDao::migrateStep(const std::vector<std::string>& statements) {
    auto db = database();
    std::optional<Error> error;
    try {
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        for (const auto& sql : statements)
            if ((error = errorAfterStatement(db->executeUpdate(sql))))
                break;
        if (error)
            transaction.rollback();
        else
            transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        error = e.error();
    }
    return error;
}

std::vector<ZarnPSqLiteDao::TableShape> ZarnPSqLiteSentTriggerDao::tableShapes() const {
    std::string columns = kColumns;
    std::erase(columns, ',');
    return {{kNotificationTable, columns}, {kGeotriggerTable, columns}};
}

std::vector<std::string> ZarnPSqLiteSentTriggerDao::addColumnWhereMissing(const char* column,
                                                                          const char* type) {
    std::vector<std::string> statements;
    auto db = database();
    for (const char* table : {kNotificationTable, kGeotriggerTable}) {
        bool present = false;
        if (auto rs = db ? db->executeQuery(format("PRAGMA table_info(%s)", table)) : nullptr)
            while (rs->next()) present = present || rs->stringForColumn("name") == column;
        if (!present)
            statements.push_back(format("ALTER TABLE %s ADD COLUMN %s %s;", table, column, type));
    }
    return statements;
}

void ZarnPSqLiteSentTriggerDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (version < 14) {
        auto error = migrateStep(
            {"DROP TABLE IF EXISTS notification_sent;", "DROP TABLE IF EXISTS geotrigger_sent;",
             "CREATE TABLE notification_sent (match_identifier VARCHAR(255) NOT NULL PRIMARY KEY, identifier "
             "VARCHAR(255) NOT NULL, message VARCHAR(2048) NOT NULL, latitude DOUBLE, longitude DOUBLE, data "
             "VARCHAR(255) NOT NULL, match_range INTEGER NOT NULL, notification_handler_type INTEGER NOT "
             "NULL, "
             "is_beacon BOOLEAN NOT NULL, trigger_on_exit BOOLEAN NOT NULL, dwelling_minutes INT NOT NULL, "
             "date_sent DOUBLE, date_opened DOUBLE);",
             "CREATE TABLE geotrigger_sent (match_identifier VARCHAR(255) NOT NULL PRIMARY KEY, identifier "
             "VARCHAR(255) NOT NULL, message VARCHAR(2048), latitude DOUBLE, longitude DOUBLE, data "
             "VARCHAR(255) NOT NULL, match_range INTEGER NOT NULL, notification_handler_type INTEGER NOT "
             "NULL, "
             "is_beacon BOOLEAN NOT NULL, trigger_on_exit BOOLEAN NOT NULL, dwelling_minutes INT NOT NULL, "
             "date_sent DOUBLE, date_opened DOUBLE);"});
        if (error)
            LogNsError(kDomain, *error, "Failed to create tables");
    }
    if (version < 16)
        migrateStep(addColumnWhereMissing("beaconUuid", "VARCHAR(255)"));
    if (version < 20)
        migrateStep(addColumnWhereMissing("region_type", "INTEGER"));
}

void ZarnPSqLiteSentTriggerDao::saveSentTrigger(const NotificationRequest& request, std::optional<Date> now) {
    ZARN_CHECK_SEQUENCE(sequence_);
    const Value& userInfo = request.content.userInfo;
    auto matchIdentifier = ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kMatchIdentifier);
    auto identifier = ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kIdentifier);
    if (!matchIdentifier || !identifier) {
        LogError(kDomain, "Failed to save sent trigger: no match identifier or identifier in %@", userInfo);
        return;
    }
    unsigned handlerType = ZarnPNotificationHandlerUtil::fromUserInfoName(
        ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kNotificationHandlerType));
    const char* table =
        handlerType == ZarnPNotificationHandlerTypeGeotrigger ? kGeotriggerTable : kNotificationTable;
    const ZarnPSqlParameters row = sentTriggerRow(userInfo, *matchIdentifier, *identifier, handlerType, now);
    auto db = database();
    if (!db) {
        LogNsError(kDomain, Error{"Zarn", -3, ZarnPDatabaseException::kReason},
                   "Failed to save sent trigger");
        return;
    }
    try {
        // The row, the replaced waiting rows and the cap are one commit.
        ZarnPTransaction transaction(db, ZarnPDurability::Full, ZarnPTransaction::Mode::JoinOrBegin);
        bool inserted = db->executeUpdateWithParameterDictionary(
            format(
                "INSERT INTO %s (match_identifier, identifier, message, latitude, longitude, data, "
                "match_range, "
                "notification_handler_type, is_beacon, trigger_on_exit, dwelling_minutes, date_sent, "
                "beaconUuid, region_type) VALUES ( :match_identifier, :identifier, :message, :latitude, "
                ":longitude, :data, :match_range, :notification_handler_type, :is_beacon, :trigger_on_exit, "
                ":dwelling_minutes, :date_sent, :beaconUuid, :region_type)",
                table),
            row);
        Error error;
        if (setErrorOnError(&error, inserted)) {
            // A match identifier already stored: that row stays and nothing else changes.
            LogNsError(kDomain, error, "Failed to save sent trigger");
            return;
        }
        bool ok = true;
        if (!now)
            ok = db->executeUpdateWithParameterDictionary(
                format("DELETE FROM %s WHERE date_sent IS NULL AND identifier = :identifier AND "
                       "match_identifier "
                       "<> :match_identifier",
                       table),
                {{"identifier", *identifier}, {"match_identifier", *matchIdentifier}});
        if (!ok || !enforceMaximum(*db, table)) {
            setErrorOnError(&error, false);
            LogNsError(kDomain, error, "Failed to enforce maximum on table");
            return;
        }
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        LogNsError(kDomain, e.error(), "Failed to save sent trigger");
    }
}

bool ZarnPSqLiteSentTriggerDao::enforceMaximum(ZarnPDatabase& db, const char* table) {
    return db.executeUpdateWithParameterDictionary(format("DELETE FROM %s WHERE rowid NOT IN (SELECT rowid "
                                                          "FROM %s ORDER BY date_sent IS NOT NULL, date_sent "
                                                          "DESC, rowid DESC LIMIT :maximum)",
                                                          table, table),
                                                   {{"maximum", kMaximumRows}});
}

std::optional<Error> ZarnPSqLiteSentTriggerDao::saveDwellingTrigger(const std::string& matchIdentifier,
                                                                    Date now) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    bool success =
        db && db->executeUpdateWithParameterDictionary(
                  "UPDATE notification_sent SET date_sent = :date_sent WHERE match_identifier = "
                  ":match_identifier",
                  {{"date_sent", timeIntervalSince1970(now)}, {"match_identifier", matchIdentifier}});
    return errorAfterStatement(success);
}

std::optional<Error> ZarnPSqLiteSentTriggerDao::markNotificationOpened(const std::string& matchIdentifier,
                                                                       Date now) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return markTrigger(matchIdentifier, false, now);
}

std::optional<Error> ZarnPSqLiteSentTriggerDao::markGeotriggerHandled(const std::string& matchIdentifier,
                                                                      Date now) {
    ZARN_CHECK_SEQUENCE(sequence_);
    return markTrigger(matchIdentifier, true, now);
}

std::optional<Error> ZarnPSqLiteSentTriggerDao::markTrigger(const std::string& matchIdentifier,
                                                            bool isGeotrigger, Date now) {
    auto db = database();
    const char* sql =
        isGeotrigger ? "UPDATE geotrigger_sent SET date_opened = :date_opened WHERE match_identifier = "
                       ":match_identifier"
                     : "UPDATE notification_sent SET date_opened = :date_opened WHERE match_identifier = "
                       ":match_identifier";
    bool success =
        db && db->executeUpdateWithParameterDictionary(
                  sql, {{"date_opened", timeIntervalSince1970(now)}, {"match_identifier", matchIdentifier}});
    return errorAfterStatement(success);
}

std::shared_ptr<ZarnPSentTrigger> ZarnPSqLiteSentTriggerDao::sentNotification(
    const std::string& matchIdentifier) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    auto rs =
        db ? db->executeQueryWithParameterDictionary(
                 format("SELECT %s FROM notification_sent WHERE date_sent NOT NULL AND match_identifier = "
                        ":match_identifier;",
                        kColumns),
                 {{"match_identifier", matchIdentifier}})
           : nullptr;
    if (!rs)
        return nullptr;
    auto triggers = marshallResultSet(*rs);
    return triggers.empty() ? nullptr : triggers.front();
}

std::vector<std::shared_ptr<ZarnPSentTrigger>> ZarnPSqLiteSentTriggerDao::readTable(const char* table) {
    auto db = database();
    auto rs = db ? db->executeQuery(format("SELECT %s FROM %s WHERE date_sent NOT NULL;", kColumns, table))
                 : nullptr;
    if (!rs)
        return {};
    return marshallResultSet(*rs);
}

std::vector<std::shared_ptr<ZarnPSentTrigger>> ZarnPSqLiteSentTriggerDao::sentNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return readTable(kNotificationTable);
}

std::vector<std::shared_ptr<ZarnPSentTrigger>> ZarnPSqLiteSentTriggerDao::sentGeotriggers() {
    ZARN_CHECK_SEQUENCE(sequence_);
    return readTable(kGeotriggerTable);
}

std::vector<std::shared_ptr<ZarnPSentTrigger>> ZarnPSqLiteSentTriggerDao::marshallResultSet(
    ZarnPResultSet& rs) {
    std::vector<std::shared_ptr<ZarnPSentTrigger>> triggers;
    while (rs.next()) {
        auto t = std::make_shared<ZarnPSentTrigger>();
        t->setMatchIdentifier(rs.stringForColumn("match_identifier"));
        t->setIdentifier(rs.stringForColumn("identifier"));
        t->setMessage(rs.stringForColumn("message"));
        if (!rs.columnIsNull("latitude") && !rs.columnIsNull("longitude"))
            t->setLocation(ZarnPLocation(rs.doubleForColumn("latitude"), rs.doubleForColumn("longitude")));
        t->setData(rs.stringForColumn("data"));
        t->setMatchRange(rs.intForColumn("match_range"));
        t->setNotificationHandlerType(static_cast<uint32_t>(rs.intForColumn("notification_handler_type")));
        t->setIsBeacon(rs.boolForColumn("is_beacon"));
        t->setTriggerOnExit(rs.boolForColumn("trigger_on_exit"));
        t->setDwellingMinutes(rs.intForColumn("dwelling_minutes"));
        t->setDateSent(rs.dateForColumn("date_sent"));
        t->setDateOpened(rs.dateForColumn("date_opened"));
        t->setBeaconUuid(rs.stringForColumn("beaconUuid"));
        t->setRegionType(static_cast<uint32_t>(rs.intForColumn("region_type")));
        triggers.push_back(std::move(t));
    }
    return triggers;
}

void ZarnPSqLiteSentTriggerDao::clearSentNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    clearTable(kNotificationTable);
}

void ZarnPSqLiteSentTriggerDao::clearSentGeotriggers() {
    ZARN_CHECK_SEQUENCE(sequence_);
    clearTable(kGeotriggerTable);
}

void ZarnPSqLiteSentTriggerDao::clearTable(const char* table) {
    auto db = database();
    bool success = db && db->executeUpdate(format("DELETE FROM %s WHERE date_sent IS NOT NULL", table));
    Error error;
    if (setErrorOnError(&error, success))
        LogNsError(kDomain, error, "Failed to clear table");
}

std::optional<Error> ZarnPSqLiteSentTriggerDao::deleteUnsentTriggers(
    const std::vector<std::string>& identifiers) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (identifiers.empty())
        return std::nullopt;
    auto db = database();
    if (!db)
        return errorAfterStatement(false);
    try {
        ZarnPTransaction transaction(db, ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
        for (const auto& identifier : identifiers)
            if (auto error = errorAfterStatement(db->executeUpdateWithParameterDictionary(
                    "DELETE FROM notification_sent WHERE date_sent IS NULL AND identifier = :identifier",
                    {{"identifier", identifier}})))
                return error;
        transaction.commit();
    } catch (const ZarnPDatabaseException& e) {
        return e.error();
    }
    return std::nullopt;
}

}  // namespace zarn
