#pragma once
#include <memory>

namespace zarn {

class ZarnPClockDao;
class ZarnPContextualPageDao;
class ZarnPGeohashReadDao;
class ZarnPKeyValueDao;
class ZarnPSegmentationPropertyValidator;
class ZarnPSentTriggerDao;
class ZarnPSqLiteBeaconNotificationDao;
class ZarnPSqLiteCooldownDao;
class ZarnPSqLiteDb;
class ZarnPSqLiteEventDao;
class ZarnPSqLiteExternalNotificationDao;
class ZarnPSqLiteKeyValueDao;
class ZarnPSqLiteNotificationDao;
class ZarnPSqLiteNotificationReadDao;
class ZarnPSqLiteSegmentationDao;
class ZarnPSqLiteSegmentationHistoryDao;

// The module's store layer: every table's store on the database object. Each registers with the
// database as it is built, and the first opening migrates them in that order. The order is the
// list of members below: C++ builds members in the order they are declared, whatever the order
// of the constructor's list, and the build refuses a list that disagrees (-Wreorder).
class ZarnPModuleStores {
  public:
    ZarnPModuleStores(const std::shared_ptr<ZarnPSqLiteDb>& db,
                      const std::shared_ptr<ZarnPClockDao>& clockDao);
    ~ZarnPModuleStores();
    ZarnPModuleStores(const ZarnPModuleStores&) = delete;
    ZarnPModuleStores& operator=(const ZarnPModuleStores&) = delete;

    const std::shared_ptr<ZarnPSqLiteKeyValueDao> sqliteKeyValueDao;
    const std::shared_ptr<ZarnPKeyValueDao> keyValueDao;  // the typed settings over it
    const std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao;
    const std::shared_ptr<ZarnPSqLiteBeaconNotificationDao> beaconNotificationDao;
    const std::shared_ptr<ZarnPContextualPageDao> contextualPageDao;
    const std::shared_ptr<ZarnPSqLiteEventDao> eventDao;
    const std::shared_ptr<ZarnPGeohashReadDao> geohashReadDao;
    const std::shared_ptr<ZarnPSentTriggerDao> sentTriggerDao;
    const std::shared_ptr<ZarnPSqLiteSegmentationDao> segmentationDao;
    const std::shared_ptr<ZarnPSqLiteSegmentationHistoryDao> segmentationHistoryDao;
    const std::shared_ptr<ZarnPSegmentationPropertyValidator> segmentationPropertyValidator;
    const std::shared_ptr<ZarnPSqLiteNotificationReadDao> notificationReadDao;
    const std::shared_ptr<ZarnPSqLiteNotificationDao> notificationDao;
    const std::shared_ptr<ZarnPSqLiteExternalNotificationDao> externalNotificationDao;
};

}  // namespace zarn
