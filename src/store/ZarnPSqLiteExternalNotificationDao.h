#pragma once
#include <memory>

#include "store/ZarnPExternalNotificationDao.h"
#include "store/ZarnPSqLiteBaseNotificationDao.h"

namespace zarn {

// The match state of external regions in the "external_" tables, which it creates; the
// operations are the base's. A failed migration is logged in the domain
// "SqLiteExternalNotificationDao", never raised. SDK thread only.
class ZarnPSqLiteExternalNotificationDao final : public ZarnPSqLiteBaseNotificationDao,
                                                 public ZarnPExternalNotificationDao {
  public:
    // The cooldown store and the clock are required.
    ZarnPSqLiteExternalNotificationDao(std::shared_ptr<ZarnPSqLiteDb> db,
                                       std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao,
                                       std::shared_ptr<ZarnPClockDao> clockDao);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override;
};

}  // namespace zarn
