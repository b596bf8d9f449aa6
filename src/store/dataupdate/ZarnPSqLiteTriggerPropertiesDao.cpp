#include "store/dataupdate/ZarnPSqLiteTriggerPropertiesDao.h"

#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteDb.h"

namespace zarn {

ZarnPSqLiteTriggerPropertiesDao::ZarnPSqLiteTriggerPropertiesDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteNotificationEntryDao(std::move(db)) {
    setTableName("trigger_properties");
}

void ZarnPSqLiteTriggerPropertiesDao::createOrUpdate(int version) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto connection = database();
    if (!connection)
        return;
    if (version < 20) {
        connection->executeUpdate(
            "CREATE TABLE IF NOT EXISTS trigger_properties (notificationid integer(8) NOT NULL, \"key\" "
            "varchar(255), "
            "value varchar(255), FOREIGN KEY(notificationid) REFERENCES notification(id) ON DELETE Cascade)");
        connection->executeUpdate(
            "CREATE INDEX IF NOT EXISTS trigger_properties_notification_idx ON trigger_properties "
            "(notificationid)");
    }
    if (version < 20) {
        // The notification table is rebuilt empty at this step while foreign keys are off: rows
        // left here would attach to the new notifications that reuse the old ids.
        connection->executeUpdate("DELETE FROM trigger_properties");
    }
}

void ZarnPSqLiteTriggerPropertiesDao::save(const dataupdate::TriggerPropertyDTO& entry,
                                           int64_t notificationId) {
    saveEntry("INSERT INTO trigger_properties(notificationid, \"key\", value) VALUES (?, ?, ?)", entry.key(),
              entry.value(), notificationId);
}

}  // namespace zarn
