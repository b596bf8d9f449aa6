#include "store/dataupdate/ZarnPSqLiteCustomRegionFieldsDao.h"

#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"

namespace zarn {

ZarnPSqLiteCustomRegionFieldsDao::ZarnPSqLiteCustomRegionFieldsDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteNotificationEntryDao(std::move(db)) {
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
    saveEntry("INSERT INTO custom_region_fields(notificationid, \"key\", value) VALUES (?, ?, ?)",
              entry.key(), entry.value(), notificationId);
}

}  // namespace zarn
