#pragma once
#include <cstdint>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The table "geohash_notification": which notification belongs to which tile. A link goes with
// its tile or its notification (ON DELETE CASCADE). Every write raises ZarnPDatabaseException on
// failure.
class ZarnPSqLiteGeohashNotificationDao final : public ZarnPSqLiteDao {
  public:
    explicit ZarnPSqLiteGeohashNotificationDao(std::shared_ptr<ZarnPSqLiteDb> db);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"geohash_notification", "geohashid notificationid"}};
    }
    void save(int64_t geohashId, int64_t notificationId);
    void deleteAll();

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
