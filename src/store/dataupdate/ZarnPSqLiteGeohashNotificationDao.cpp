#include "store/dataupdate/ZarnPSqLiteGeohashNotificationDao.h"

#include "store/ZarnPDatabase.h"

namespace zarn {

ZarnPSqLiteGeohashNotificationDao::ZarnPSqLiteGeohashNotificationDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteDao(std::move(db)) {
    setTableName("geohash_notification");
}

void ZarnPSqLiteGeohashNotificationDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (version < 18) {
        if (auto connection = database()) {
            connection->executeUpdate(
                "CREATE TABLE IF NOT EXISTS geohash_notification (geohashid integer(5) NOT NULL, "
                "notificationid "
                "integer(8) NOT NULL, PRIMARY KEY (geohashid, notificationid), FOREIGN KEY(geohashid) "
                "REFERENCES "
                "geohash(id) ON DELETE Cascade, FOREIGN KEY(notificationid) REFERENCES notification(id) ON "
                "DELETE "
                "Cascade)");
            connection->executeUpdate(
                "CREATE INDEX IF NOT EXISTS geohash_notification_geohashid_idx ON geohash_notification "
                "(geohashid)");
            connection->executeUpdate(
                "CREATE INDEX IF NOT EXISTS geohash_notification_geohashid_notificationidx ON "
                "geohash_notification "
                "(notificationid)");
        }
    }
    if (version < 20)
        deleteAll();
}

void ZarnPSqLiteGeohashNotificationDao::save(int64_t geohashId, int64_t notificationId) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareSaveStatementIfNotPrepared(
        "INSERT INTO geohash_notification(geohashid, notificationid) VALUES (?, ?)");
    auto connection = database();
    auto& statement = *savePreparedStatement();
    if (connection) {
        connection->bindLong(statement, 1, geohashId);
        connection->bindLong(statement, 2, notificationId);
    }
    executeStatement(statement);
}

void ZarnPSqLiteGeohashNotificationDao::deleteAll() {
    ZARN_CHECK_SEQUENCE(sequence_);
    executeUpdate("DELETE FROM geohash_notification");
}

}  // namespace zarn
