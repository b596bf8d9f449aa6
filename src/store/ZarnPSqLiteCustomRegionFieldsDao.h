#pragma once
#include <cstdint>

#include "store/ZarnPDataUpdateTables.h"
#include "store/ZarnPSqLiteNotificationEntryDao.h"

namespace zarn {

// The table "custom_region_fields": free fields of a notification's region that fill the
// placeholders of its message, one row per key-value entry. An absent or empty key or value is
// stored as NULL. Rows go with their notification (ON DELETE CASCADE). A failed insert raises
// ZarnPDatabaseException.
class ZarnPSqLiteCustomRegionFieldsDao final : public ZarnPSqLiteNotificationEntryDao {
  public:
    explicit ZarnPSqLiteCustomRegionFieldsDao(std::shared_ptr<ZarnPSqLiteDb> db);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"custom_region_fields", "notificationid key value"}};
    }
    void save(const dataupdate::CustomRegionFieldDTO& entry, int64_t notificationId);
};

}  // namespace zarn
