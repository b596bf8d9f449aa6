// The module's store layer: every table's store on the database object. Each registers with the
// database as it is built, and the first opening migrates them in that order.
#include "entry/ZarnPModule.h"
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

ZarnPModule::Stores ZarnPModule::buildStores() const {
    Stores s;
    s.sqliteKeyValueDao = std::make_shared<ZarnPSqLiteKeyValueDao>(db_);
    s.keyValueDao = s.sqliteKeyValueDao->keyValueDao();
    s.cooldownDao = std::make_shared<ZarnPSqLiteCooldownDao>(db_);
    s.beaconNotificationDao =
        std::make_shared<ZarnPSqLiteBeaconNotificationDao>(db_, s.cooldownDao, clockDao_);
    s.contextualPageDao = std::make_shared<ZarnPSqLiteContextualPageDao>(db_, clockDao_);
    s.eventDao = std::make_shared<ZarnPSqLiteEventDao>(db_);
    s.geohashReadDao = std::make_shared<ZarnPGeohashReadDao>(db_);
    s.sentTriggerDao = std::make_shared<ZarnPSqLiteSentTriggerDao>(db_);
    s.segmentationDao = std::make_shared<ZarnPSqLiteSegmentationDao>(db_);
    s.segmentationHistoryDao = std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db_);
    s.segmentationPropertyValidator =
        std::make_shared<ZarnPSegmentationPropertyValidator>(clockDao_, s.segmentationHistoryDao);
    s.notificationReadDao = std::make_shared<ZarnPSqLiteNotificationReadDao>(
        db_, s.cooldownDao, clockDao_, s.segmentationDao, s.segmentationPropertyValidator);
    s.notificationDao =
        std::make_shared<ZarnPSqLiteNotificationDao>(db_, s.cooldownDao, clockDao_, s.notificationReadDao);
    s.externalNotificationDao =
        std::make_shared<ZarnPSqLiteExternalNotificationDao>(db_, s.cooldownDao, clockDao_);
    return s;
}

}  // namespace zarn
