// The module's entry layer: the facade, each of its roads given what that road uses and nothing
// more, then the notification-centre delegate that hands it the taps.
#include "core/ZarnPSystemTimerDao.h"
#include "device/push/ZarnPGCMClient.h"
#include "device/system/ZarnPDelegateDataDao.h"
#include "device/system/ZarnPFileConfigDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemSLCDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "entry/ZarnPModule.h"
#include "entry/ZarnPModuleStores.h"
#include "entry/ZarnPUserNotificationCenterDelegate.h"
#include "services/ZarnPBeaconMatching.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPDebugLogMailer.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPExternalRegionTriggering.h"
#include "services/ZarnPGeofenceMatching.h"
#include "services/ZarnPHeartbeatScheduling.h"
#include "services/ZarnPLandingPageShowing.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPMatchRunDispatching.h"
#include "services/ZarnPNotificationService.h"
#include "services/ZarnPPhoneStateReporting.h"
#include "services/ZarnPScreenEventTracking.h"
#include "services/ZarnPSegmentationService.h"
#include "store/ZarnPContextualPageDao.h"
#include "store/ZarnPSentTriggerDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"

namespace zarn {

void ZarnPModule::buildEntry() {
    interface_ = ZarnPZarnInterface::create(facadeParts(), configuration_);
    *facadeForLog_ = interface_;
    // Installed last, so that the delegate the app set before initialising stays its fallback.
    if (platform_.localNotificationCenter)
        userNotificationCenterDelegate_ = ZarnPUserNotificationCenterDelegate::create(
            interface_, platform_.localNotificationCenter, services_.contextService);
}

ZarnPZarnInterface::Parts ZarnPModule::facadeParts() const {
    return {
        .timerDao = timerDao_,
        .notificationCenter = platform_.notificationCenter,
        .enabling = enablingRoad(),
        .operations = operationsRoad(),
        .contextualPage = contextualPageRoad(),
        .configuration = configurationRoad(),
        .offering = offeringRoad(),
        .tap = tapRoad(),
    };
}

ZarnPEnablingRoad::Collaborators ZarnPModule::enablingRoad() const {
    auto& s = services_;
    return {
        .keyValueDao = stores_->keyValueDao,
        .eventService = s.eventService,
        .timerDao = timerDao_,
        .publicLogDao = devices_.publicLogDao,
        .locationUpdateService = s.locationUpdateService,
        .gcmClient = devices_.gcmClient,
        .contextService = s.contextService,
        .application = platform_.application,
        .screenEventsService = s.screenEventsService,
        .db = db_,
    };
}

ZarnPOperationsRoad::Collaborators ZarnPModule::operationsRoad() const {
    auto& s = services_;
    return {
        .contextService = s.contextService,
        .segmentationService = s.segmentationService,
        .publicLogDao = devices_.publicLogDao,
        .notificationService = s.notificationService,
        .uiNotificationDao = devices_.uiNotificationDao,
        .sentTriggerDao = stores_->sentTriggerDao,
        .locationUpdateService = s.locationUpdateService,
        .eventService = s.eventService,
        .phoneStateService = s.phoneStateService,
        .matchService = s.fenceMatchService,
        .db = db_,
        .gcmClient = devices_.gcmClient,
        .externalRegionService = s.externalRegionService,
        .debugLogMailer = s.debugLogMailer,
    };
}

ZarnPContextualPageRoad::Collaborators ZarnPModule::contextualPageRoad() const {
    return {
        .contextualPageDao = stores_->contextualPageDao,
        .contextService = services_.contextService,
        .eventService = services_.eventService,
        .clockDao = clockDao_,
        .timerDao = timerDao_,
        .notificationCenter = platform_.notificationCenter,
    };
}

ZarnPConfigurationRoad::Collaborators ZarnPModule::configurationRoad() const {
    return {
        .keyValueDao = stores_->keyValueDao,
        .fileConfigDao = devices_.fileConfigDao,
        .eventService = services_.eventService,
        .gcmClient = devices_.gcmClient,
        .slcDao = devices_.slcDao,
        .uiNotificationDao = devices_.uiNotificationDao,
        .heartbeatService = services_.heartbeatService,
        .deviceIdDao = devices_.deviceIdDao,
        .db = db_,
        .publicLogDao = devices_.publicLogDao,
        .mainBundle = platform_.mainBundle,
    };
}

ZarnPOfferingRoad::Collaborators ZarnPModule::offeringRoad() const {
    return {
        .commonMatchService = services_.commonMatchService,
        .publicLogDao = devices_.publicLogDao,
        .uiNotificationDao = devices_.uiNotificationDao,
        .notificationCenter = platform_.notificationCenter,
    };
}

ZarnPTapRoad::Collaborators ZarnPModule::tapRoad() const {
    auto& s = services_;
    return {
        .contextService = s.contextService,
        .geofenceMatchService = s.geofenceMatchService,
        .beaconMatchService = s.beaconMatchService,
        .locationUpdateService = s.locationUpdateService,
        .eventService = s.eventService,
        .publicLogDao = devices_.publicLogDao,
        .sentTriggerDao = stores_->sentTriggerDao,
        .clockDao = clockDao_,
        .uiNotificationDao = devices_.uiNotificationDao,
        .landingPage = s.landingPage,
        .localNotificationCenter = platform_.localNotificationCenter,
        .urlOpener = platform_.urlOpener,
    };
}

}  // namespace zarn
