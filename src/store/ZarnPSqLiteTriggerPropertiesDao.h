#pragma once
#include <cstdint>

#include "store/ZarnPDataUpdateTables.h"
#include "store/ZarnPSqLiteNotificationEntryDao.h"

namespace zarn {

// The table "trigger_properties": the properties an external-region trigger must carry, one row
// per key-value entry of a notification (a notification with one is an external region). An
// absent or empty key or value is stored as NULL. Rows go with their notification (ON DELETE
// CASCADE). A failed insert raises ZarnPDatabaseException.
class ZarnPSqLiteTriggerPropertiesDao final : public ZarnPSqLiteNotificationEntryDao {
  public:
    explicit ZarnPSqLiteTriggerPropertiesDao(std::shared_ptr<ZarnPSqLiteDb> db);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"trigger_properties", "notificationid key value"}};
    }
    void save(const dataupdate::TriggerPropertyDTO& entry, int64_t notificationId);
};

}  // namespace zarn
