#include "store/ZarnPSqLiteCustomRegionFieldsDao.h"

#include "schema/dataupdate_generated.h"
#include "store/FlatBuffersUtil.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"

namespace zarn {

ZarnPSqLiteCustomRegionFieldsDao::ZarnPSqLiteCustomRegionFieldsDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteDao(std::move(db)) {
    setTableName("custom_region_fields");
}

void ZarnPSqLiteCustomRegionFieldsDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    if (!connection)
        return;
    if (version < 18) {
        connection->executeUpdate(
            "CREATE TABLE IF NOT EXISTS custom_region_fields (notificationid integer(8) NOT NULL, \"key\" "
            "varchar(255), "
            "value varchar(255), FOREIGN KEY(notificationid) REFERENCES notification(id) ON DELETE Cascade)");
        connection->executeUpdate(
            "CREATE INDEX IF NOT EXISTS custom_region_fields_notification_idx ON custom_region_fields "
            "(notificationid)");
    }
    if (version < 20) {
        // The notification table is rebuilt empty at this step while foreign keys are off: rows
        // left here would attach to the new notifications that reuse the old ids.
        connection->executeUpdate("DELETE FROM custom_region_fields");
    }
}

void ZarnPSqLiteCustomRegionFieldsDao::save(const dataupdate::CustomRegionFieldDTO& entry,
                                            int64_t notificationId) {
    ZARN_CHECK_SEQUENCE(sequence_);
    prepareSaveStatementIfNotPrepared(
        "INSERT INTO custom_region_fields(notificationid, \"key\", value) VALUES (?, ?, ?)");
    auto connection = database();
    auto& statement = *savePreparedStatement();
    if (connection) {
        connection->bindLong(statement, 1, notificationId);
        FlatBuffersUtil::bindStringOrNull(entry.key(), statement, 2, *db());
        FlatBuffersUtil::bindStringOrNull(entry.value(), statement, 3, *db());
    }
    executeStatement(statement);
}

}  // namespace zarn
