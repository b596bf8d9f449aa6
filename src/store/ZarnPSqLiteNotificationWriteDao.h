#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPDataUpdateTables.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

class ZarnPSqLiteCustomRegionFieldsDao;
class ZarnPSqLiteGeohashNotificationDao;
class ZarnPSqLiteTriggerPropertiesDao;

// The table "notification": one place where a campaign triggers (a geofence, a beacon region or
// an external region), written by the save of a data update with its tile link, custom region
// fields and trigger properties. A location whose coordinates are not finite numbers is stored as
// no location. Every write raises ZarnPDatabaseException on failure.
class ZarnPSqLiteNotificationWriteDao final : public ZarnPSqLiteDao {
  public:
    // Each store is required.
    ZarnPSqLiteNotificationWriteDao(std::shared_ptr<ZarnPSqLiteDb> db,
                                    std::shared_ptr<ZarnPSqLiteGeohashNotificationDao> geohashNotificationDao,
                                    std::shared_ptr<ZarnPSqLiteCustomRegionFieldsDao> customRegionFieldsDao,
                                    std::shared_ptr<ZarnPSqLiteTriggerPropertiesDao> triggerPropertiesDao);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"notification",
                 "id campaignid geofence_id latitude longitude match_range match_range_lat match_range_long "
                 "offered delete_after_match opening_hours_mon opening_hours_tue opening_hours_wed "
                 "opening_hours_thu opening_hours_fri opening_hours_sat opening_hours_sun beacon_uuid "
                 "beacon_major_id beacon_minor_id region_label is_polygon is_external_region"}};
    }

    // Writes the notification under a new id (returned) with its children.
    int64_t save(const dataupdate::NotificationDTO& notification, int64_t campaignId, int64_t geohashId);
    void save(const dataupdate::NotificationDTO& notification, int64_t campaignId, int64_t geohashId,
              int64_t id);
    // One day's opening hours: the value when not 0, else NULL.
    void bindOpeningHoursIfSet(int parameterIndex, uint32_t openingHours);

    // Deletes the notifications whose campaign row has the pair's server id (first element) and
    // whose geofence id is the pair's second element, for every pair. A pair of fewer than two
    // ids raises before anything is deleted; an empty list runs no statement.
    void deleteByCampaignIdsAndGeofenceIds(
        const std::vector<std::vector<std::string>>& campaignAndGeofenceIds);
    // The notifications no tile links to.
    void deleteOrphanNotifications();

  private:
    std::shared_ptr<ZarnPSqLiteGeohashNotificationDao> geohashNotificationDao_;
    std::shared_ptr<ZarnPSqLiteCustomRegionFieldsDao> customRegionFieldsDao_;
    std::shared_ptr<ZarnPSqLiteTriggerPropertiesDao> triggerPropertiesDao_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
