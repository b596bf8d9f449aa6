#pragma once
#include <cstdint>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPDataUpdateTables.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The table "polygon": the circles of a polygon geofence, one row per circle. Rows are removed
// only by the orphan deletion, which the save runs before it writes new notifications, so a
// circle never attaches to a later notification that reuses an id. A circle whose centre or
// radius is not a finite number is not stored. Every write raises ZarnPDatabaseException on
// failure.
class ZarnPSqLitePolygonDao final : public ZarnPSqLiteDao {
  public:
    explicit ZarnPSqLitePolygonDao(std::shared_ptr<ZarnPSqLiteDb> db);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"polygon", "id notification_internal_id latitude longitude match_range"}};
    }

    // One row per circle of the notification's circlesList, with consecutive new ids; nothing
    // without the list.
    void saveCirclesIfPresent(int64_t notificationId, const dataupdate::NotificationDTO& notificationDto);
    void saveCircle(int64_t polygonId, int64_t notificationId, const dataupdate::CircleDTO& circle);
    // The rows whose notification no longer exists.
    void deleteOrphanPolygons();

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
