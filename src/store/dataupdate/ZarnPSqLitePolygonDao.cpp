#include "store/dataupdate/ZarnPSqLitePolygonDao.h"

#include <cmath>

#include "core/ZarnPLogger.h"
#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"

namespace zarn {

namespace {
constexpr const char* kInsert =
    "INSERT INTO polygon(id, notification_internal_id, latitude, longitude, match_range) VALUES (?, ?, ?, ?, "
    "?)";
}

ZarnPSqLitePolygonDao::ZarnPSqLitePolygonDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteDao(std::move(db)) {
    setTableName("polygon");
}

void ZarnPSqLitePolygonDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    if (!connection)
        return;
    if (version < 20)
        connection->executeUpdate(
            "CREATE TABLE IF NOT EXISTS polygon (id INTEGER NOT NULL PRIMARY KEY, notification_internal_id "
            "integer NOT NULL, latitude real, longitude real, match_range integer);");
    // The notification reads look circles up by their notification.
    connection->executeUpdate(
        "CREATE INDEX IF NOT EXISTS polygon_notification_internal_id_idx ON polygon "
        "(notification_internal_id)");
}

void ZarnPSqLitePolygonDao::saveCirclesIfPresent(int64_t notificationId,
                                                 const dataupdate::NotificationDTO& notificationDto) {
    ZARN_CHECK_SEQUENCE(sequence_);
    const auto* circles = notificationDto.circlesList();
    if (!circles)
        return;
    prepareForSaveIfNotPrepared(kInsert);
    for (const dataupdate::CircleDTO* circle : *circles) {
        if (!std::isfinite(circle->centerLatitude()) || !std::isfinite(circle->centerLongitude()) ||
            !std::isfinite(circle->radius())) {
            LogWarn("SqLitePolygonDao", "Skipping a circle without a finite centre and radius");
            continue;
        }
        saveCircle(nextSavedId(), notificationId, *circle);
    }
}

void ZarnPSqLitePolygonDao::saveCircle(int64_t polygonId, int64_t notificationId,
                                       const dataupdate::CircleDTO& circle) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareForSaveIfNotPrepared(kInsert);
    auto connection = database();
    auto* statement = savePreparedStatement();
    if (connection && statement) {
        connection->bindLong(*statement, 1, polygonId);
        connection->bindLong(*statement, 2, notificationId);
        connection->bindDouble(*statement, 3, circle.centerLatitude());
        connection->bindDouble(*statement, 4, circle.centerLongitude());
        // Bound as a real: a fractional radius stays fractional, a whole one becomes an integer.
        connection->bindDouble(*statement, 5, circle.radius());
    }
    if (!statement)
        throwDbExceptionIfNeeded(errorAfterStatement(false));
    executeStatement(*statement);
}

void ZarnPSqLitePolygonDao::deleteOrphanPolygons() {
    ZARN_CHECK_SEQUENCE(sequence_);
    executeUpdate("DELETE FROM polygon WHERE notification_internal_id NOT IN ( SELECT id FROM notification)");
}

}  // namespace zarn
