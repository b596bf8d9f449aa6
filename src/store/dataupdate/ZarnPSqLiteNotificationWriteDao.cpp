#include "store/dataupdate/ZarnPSqLiteNotificationWriteDao.h"

#include <array>
#include <cmath>

#include "core/ZarnException.h"
#include "core/ZarnPLocationUtil.h"
#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPDatabaseException.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/dataupdate/FlatBuffersUtil.h"
#include "store/dataupdate/ZarnPSqLiteCustomRegionFieldsDao.h"
#include "store/dataupdate/ZarnPSqLiteGeohashNotificationDao.h"
#include "store/dataupdate/ZarnPSqLiteTriggerPropertiesDao.h"

namespace zarn {

namespace {

constexpr const char* kInsert =
    "INSERT INTO "
    "notification(id,campaignid,geofence_id,latitude,longitude,match_range,match_range_lat,match_range_long,"
    "offered,delete_after_match,opening_hours_mon,opening_hours_tue,opening_hours_wed,opening_hours_thu,"
    "opening_hours_fri,opening_hours_sat,opening_hours_sun,beacon_uuid,beacon_major_id,beacon_minor_id,"
    "region_label, is_polygon, is_external_region) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
    "?, "
    "?, ?, ?, ?, ?, ?)";

// Whether a field of the table was written, default or not. The generated table inherits the
// test privately; the explicit conversion to an inaccessible base is the one the language allows.
bool isFieldPresent(const dataupdate::NotificationDTO& table, flatbuffers::voffset_t field) {
    return ((const flatbuffers::Table*)&table)->CheckField(field);
}

// Parameters 4 to 8: the point, the match range, and the range in degrees of latitude and of
// longitude. A location whose coordinates are not finite numbers is none.
void bindPlace(ZarnPDatabase& connection, ZarnPStatement& statement,
               const dataupdate::NotificationDTO& notification) {
    const dataupdate::LocationDTO* location = notification.location();
    if (location && (!std::isfinite(location->latitude()) || !std::isfinite(location->longitude())))
        location = nullptr;
    bool hasMatchRange = isFieldPresent(notification, dataupdate::NotificationDTO::VT_MATCHRANGE);
    int32_t matchRange = notification.matchRange();
    if (location) {
        connection.bindDouble(statement, 4, location->latitude());
        connection.bindDouble(statement, 5, location->longitude());
    } else {
        connection.bindNull(statement, 4);
        connection.bindNull(statement, 5);
    }
    if (hasMatchRange) {
        // A real: the column's integer affinity keeps a whole value as an integer.
        connection.bindDouble(statement, 6, static_cast<double>(matchRange));
        connection.bindDouble(statement, 7, ZarnPLocationUtil::meterToLatitudeDegrees(matchRange));
    } else {
        connection.bindNull(statement, 6);
        connection.bindNull(statement, 7);
    }
    if (location)
        connection.bindDouble(statement, 8,
                              ZarnPLocationUtil::meterToLongitudeDegrees(matchRange, location->latitude()));
    else
        connection.bindNull(statement, 8);
}

// Monday to Sunday; 0 where the update gives no hours.
std::array<uint32_t, 7> openingHoursOfWeek(const dataupdate::OpeningHoursDTO* hours) {
    if (!hours)
        return {};
    return {hours->monday(), hours->tuesday(),  hours->wednesday(), hours->thursday(),
            hours->friday(), hours->saturday(), hours->sunday()};
}

// Parameters 18 to 23: the beacon identity (a minor id of -1 is none), the label and the kind
// of place (polygon, external region).
void bindBeaconAndKind(ZarnPDatabase& connection, ZarnPStatement& statement, ZarnPSqLiteDb& db,
                       const dataupdate::NotificationDTO& notification) {
    bool isBeacon = FlatBuffersUtil::readString(notification.beaconUuid()).has_value();
    FlatBuffersUtil::bindStringOrNull(notification.beaconUuid(), statement, 18, db);
    if (isBeacon)
        connection.bindLong(statement, 19, notification.beaconMajorId());
    else
        connection.bindNull(statement, 19);
    if (isBeacon && notification.beaconMinorId() != -1)
        connection.bindLong(statement, 20, notification.beaconMinorId());
    else
        connection.bindNull(statement, 20);
    FlatBuffersUtil::bindStringOrNull(notification.label(), statement, 21, db);
    const auto* circles = notification.circlesList();
    connection.bindInt(statement, 22, circles && circles->size() > 0 ? 1 : 0);
    const auto* triggerProperties = notification.triggerProperties();
    connection.bindInt(statement, 23, triggerProperties && triggerProperties->size() > 0 ? 1 : 0);
}

}  // namespace

ZarnPSqLiteNotificationWriteDao::ZarnPSqLiteNotificationWriteDao(
    std::shared_ptr<ZarnPSqLiteDb> db,
    std::shared_ptr<ZarnPSqLiteGeohashNotificationDao> geohashNotificationDao,
    std::shared_ptr<ZarnPSqLiteCustomRegionFieldsDao> customRegionFieldsDao,
    std::shared_ptr<ZarnPSqLiteTriggerPropertiesDao> triggerPropertiesDao)
    : ZarnPSqLiteDao(std::move(db)),
      geohashNotificationDao_(std::move(geohashNotificationDao)),
      customRegionFieldsDao_(std::move(customRegionFieldsDao)),
      triggerPropertiesDao_(std::move(triggerPropertiesDao)) {
    ZARN_REQUIRE(geohashNotificationDao_);
    ZARN_REQUIRE(customRegionFieldsDao_);
    ZARN_REQUIRE(triggerPropertiesDao_);
    setTableName("notification");
}

void ZarnPSqLiteNotificationWriteDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    if (!connection)
        return;
    if (version < 20) {
        connection->executeUpdate("DROP INDEX IF EXISTS notification_id_idx");
        connection->executeUpdate("DROP TABLE IF EXISTS notification");
        connection->executeUpdate(
            "CREATE TABLE IF NOT EXISTS notification (id INTEGER NOT NULL PRIMARY KEY, campaignid integer "
            "NOT "
            "NULL, geofence_id varchar, latitude real, longitude real, match_range integer, match_range_lat "
            "real, "
            "match_range_long real, offered boolean, delete_after_match boolean, opening_hours_mon integer, "
            "opening_hours_tue integer, opening_hours_wed integer, opening_hours_thu integer, "
            "opening_hours_fri "
            "integer, opening_hours_sat integer, opening_hours_sun integer, beacon_uuid varchar, "
            "beacon_major_id "
            "integer, beacon_minor_id integer, region_label varchar, is_polygon boolean, is_external_region "
            "boolean)");
        connection->executeUpdate("CREATE INDEX IF NOT EXISTS notification_id_idx ON notification (id)");
    }
    // Deleting by campaign and geofence looks rows up by geofence id.
    connection->executeUpdate(
        "CREATE INDEX IF NOT EXISTS notification_geofence_id_idx ON notification (geofence_id)");
}

int64_t ZarnPSqLiteNotificationWriteDao::save(const dataupdate::NotificationDTO& notification,
                                              int64_t campaignId, int64_t geohashId) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareForSaveIfNotPrepared(kInsert);
    int64_t id = nextSavedId();
    save(notification, campaignId, geohashId, id);
    return id;
}

void ZarnPSqLiteNotificationWriteDao::save(const dataupdate::NotificationDTO& notification,
                                           int64_t campaignId, int64_t geohashId, int64_t id) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareForSaveIfNotPrepared(kInsert);
    auto connection = database();
    auto& statement = *savePreparedStatement();
    if (connection) {
        // Every parameter is bound for every row: the statement keeps the last row's bindings.
        connection->bindLong(statement, 1, id);
        connection->bindLong(statement, 2, campaignId);
        FlatBuffersUtil::bindStringOrNull(notification.geofenceId(), statement, 3, *db());
        bindPlace(*connection, statement, notification);
        connection->bindNull(statement, 9);
        connection->bindNull(statement, 10);
        const auto week = openingHoursOfWeek(notification.openingHours());
        for (int day = 0; day < 7; ++day) bindOpeningHoursIfSet(11 + day, week[day]);
        bindBeaconAndKind(*connection, statement, *db(), notification);
    }
    executeStatement(statement);

    geohashNotificationDao_->save(geohashId, id);
    if (const auto* fields = notification.customRegionFields())
        for (const auto* field : *fields) customRegionFieldsDao_->save(*field, id);
    if (const auto* properties = notification.triggerProperties())
        for (const auto* property : *properties) triggerPropertiesDao_->save(*property, id);
}

void ZarnPSqLiteNotificationWriteDao::bindOpeningHoursIfSet(int parameterIndex, uint32_t openingHours) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    auto* statement = savePreparedStatement();
    if (!connection || !statement)
        return;
    // Unsigned 32-bit: a closing minute from 8 on sets the top bit, which a 32-bit bind would
    // turn negative.
    if (openingHours != 0)
        connection->bindLong(*statement, parameterIndex, static_cast<int64_t>(openingHours));
    else
        connection->bindNull(*statement, parameterIndex);
}

void ZarnPSqLiteNotificationWriteDao::deleteByCampaignIdsAndGeofenceIds(
    const std::vector<std::vector<std::string>>& campaignAndGeofenceIds) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (campaignAndGeofenceIds.empty())
        return;
    for (const auto& pair : campaignAndGeofenceIds)
        if (pair.size() < 2)
            throw ZarnPDatabaseException(Error{"Zarn", -3, ZarnPDatabaseException::kReason});
    // One statement per pair: a single OR chain over thousands of pairs exceeds SQLite's
    // expression depth and fails the whole save. The rows deleted are the same.
    auto connection = database();
    std::unique_ptr<ZarnPStatement> statement;
    bool prepared =
        connection && connection->prepareStatement(
                          "DELETE FROM notification WHERE campaignid IN (SELECT id FROM campaign WHERE "
                          "server_id=?) AND geofence_id=?",
                          statement);
    throwDbExceptionIfNeeded(errorAfterStatement(prepared));
    for (const auto& pair : campaignAndGeofenceIds) {
        connection->bindString(*statement, 1, pair[0]);
        connection->bindString(*statement, 2, pair[1]);
        executeStatement(*statement);
    }
}

void ZarnPSqLiteNotificationWriteDao::deleteOrphanNotifications() {
    ZARN_CHECK_SEQUENCE(sequence_);
    executeUpdate(
        "DELETE FROM notification WHERE id IN (SELECT id FROM notification n LEFT OUTER JOIN "
        "geohash_notification "
        "gn ON n.id=gn.notificationid WHERE gn.notificationid IS NULL)");
}

}  // namespace zarn
