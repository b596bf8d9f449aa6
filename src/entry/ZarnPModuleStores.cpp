#include "entry/ZarnPModuleStores.h"

#include "store/ZarnPGeohashReadDao.h"
#include "store/ZarnPSegmentationPropertyValidator.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/ZarnPSqLiteNotificationDao.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/ZarnPSqLiteSentTriggerDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"

namespace zarn {

ZarnPModuleStores::ZarnPModuleStores(const std::shared_ptr<ZarnPSqLiteDb>& db,
                                     const std::shared_ptr<ZarnPClockDao>& clockDao)
    : sqliteKeyValueDao(std::make_shared<ZarnPSqLiteKeyValueDao>(db)),
      keyValueDao(sqliteKeyValueDao->keyValueDao()),
      cooldownDao(std::make_shared<ZarnPSqLiteCooldownDao>(db)),
      beaconNotificationDao(std::make_shared<ZarnPSqLiteBeaconNotificationDao>(db, cooldownDao, clockDao)),
      contextualPageDao(std::make_shared<ZarnPSqLiteContextualPageDao>(db, clockDao)),
      eventDao(std::make_shared<ZarnPSqLiteEventDao>(db)),
      geohashReadDao(std::make_shared<ZarnPGeohashReadDao>(db)),
      sentTriggerDao(std::make_shared<ZarnPSqLiteSentTriggerDao>(db)),
      segmentationDao(std::make_shared<ZarnPSqLiteSegmentationDao>(db)),
      segmentationHistoryDao(std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db)),
      segmentationPropertyValidator(
          std::make_shared<ZarnPSegmentationPropertyValidator>(clockDao, segmentationHistoryDao)),
      notificationReadDao(std::make_shared<ZarnPSqLiteNotificationReadDao>(
          db, cooldownDao, clockDao, segmentationDao, segmentationPropertyValidator)),
      notificationDao(
          std::make_shared<ZarnPSqLiteNotificationDao>(db, cooldownDao, clockDao, notificationReadDao)),
      externalNotificationDao(
          std::make_shared<ZarnPSqLiteExternalNotificationDao>(db, cooldownDao, clockDao)) {}

ZarnPModuleStores::~ZarnPModuleStores() = default;

}  // namespace zarn
