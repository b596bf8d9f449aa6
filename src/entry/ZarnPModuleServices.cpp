// The module's service layer: the event pipeline, the matching, the runs that fetch locations
// and data, and the delegate links between them and the wrappers.
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/exchange/ZarnPDataUpdateDao.h"
#include "device/push/ZarnPGCMClient.h"
#include "device/push/ZarnPGCMMediator.h"
#include "device/system/ZarnPMailHelper.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "device/system/ZarnPSystemFenceDao.h"
#include "device/system/ZarnPSystemLocationDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemSLCDao.h"
#include "entry/ZarnPLoadedNotificationStores.h"
#include "entry/ZarnPModule.h"
#include "entry/ZarnPModuleStores.h"
#include "services/ZarnPBeaconMatchingService.h"
#include "services/ZarnPCommonMatchService.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPDebugLogMailer.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPExternalRegionMatchingService.h"
#include "services/ZarnPExternalRegionService.h"
#include "services/ZarnPFenceMatchService.h"
#include "services/ZarnPGeofenceMatchingService.h"
#include "services/ZarnPHeartbeatService.h"
#include "services/ZarnPLandingPage.h"
#include "services/ZarnPLocationUpdateService.h"
#include "services/ZarnPLogEventWriter.h"
#include "services/ZarnPNotificationService.h"
#include "services/ZarnPPhoneStateService.h"
#include "services/ZarnPScreenEventsService.h"
#include "services/ZarnPSegmentationService.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/ZarnPSqLiteNotificationDao.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"

namespace zarn {

ZarnPModule::Services ZarnPModule::buildServices(std::shared_ptr<ZarnPContextService> contextService) const {
    Services s;
    s.contextService = std::move(contextService);
    buildEventPipeline(s);
    buildMatching(s);
    buildRunsAndLinks(s);
    return s;
}

// The landing page, segmentation and the event service with what writes events: every run's
// context and the log's error lines.
void ZarnPModule::buildEventPipeline(Services& s) const {
    s.landingPage =
        std::make_shared<ZarnPLandingPage>(platform_.windowSystem, platform_.urlOpener, platform_.deviceInfo);
    s.segmentationService =
        std::make_shared<ZarnPSegmentationService>(stores_->keyValueDao, stores_->segmentationDao,
                                                   stores_->segmentationHistoryDao, devices_.publicLogDao);
    s.eventService = ZarnPEventService::create(stores_->eventDao, stores_->keyValueDao, uuidGenerator_,
                                               s.segmentationService, devices_.dataUpdateDao, clockDao_,
                                               platform_.notificationCenter);
    s.contextService->setEventService(s.eventService);
    s.contextService->setTimerDao(timerDao_);
    s.logEventWriter = std::make_shared<ZarnPLogEventWriter>(s.eventService, timerDao_);
    ZarnPLogger::instance().addListener(s.logEventWriter);
}

// The loaded notifications and the matching of geofences and beacons.
void ZarnPModule::buildMatching(Services& s) const {
    auto& st = *stores_;
    auto& d = devices_;
    s.notificationService = ZarnPNotificationService::create(ZarnPNotificationService::Collaborators{
        .localDao = std::make_shared<ZarnPLoadedLocalNotifications>(st.notificationDao),
        .beaconDao = std::make_shared<ZarnPLoadedBeaconNotifications>(st.beaconNotificationDao),
        .remoteDao = d.dataUpdateDao,
        .eventDao = st.eventDao,
        .keyValueDao = st.keyValueDao,
        .publicLogDao = d.publicLogDao,
        .eventService = s.eventService,
        .contextService = s.contextService,
        .segmentationService = s.segmentationService,
        .clockDao = clockDao_,
        .db = db_,
    });
    s.segmentationService->setNotificationService(s.notificationService);
    s.commonMatchService = ZarnPCommonMatchService::create(ZarnPCommonMatchService::Collaborators{
        .notificationDao = st.notificationDao,
        .publicLogDao = d.publicLogDao,
        .deviceDataDao = d.deviceDataDao,
        .contextualPageDao = st.contextualPageDao,
        .sentTriggerDao = st.sentTriggerDao,
        .keyValueDao = st.keyValueDao,
        .clockDao = clockDao_,
        .contextService = s.contextService,
        .uiNotificationDao = d.uiNotificationDao,
        .fenceDao = d.fenceDao,
        .uuidGenerator = uuidGenerator_,
        .beaconNotificationDao = st.beaconNotificationDao,
        .externalNotificationDao = st.externalNotificationDao,
        .eventService = s.eventService,
        .timerDao = timerDao_,
        .segmentationHistoryDao = st.segmentationHistoryDao,
        .db = db_,
    });
    s.geofenceMatchService =
        std::make_shared<ZarnPGeofenceMatchingService>(ZarnPGeofenceMatchingService::Collaborators{
            .commonMatchService = s.commonMatchService,
            .notificationReadDao = st.notificationReadDao,
            .notificationDao = st.notificationDao,
            .eventService = s.eventService,
            .publicLogDao = d.publicLogDao,
            .contextService = s.contextService,
            .contextualPageDao = st.contextualPageDao,
            .clockDao = clockDao_,
            .segmentationHistoryDao = st.segmentationHistoryDao,
            .db = db_,
        });
    s.beaconMatchService =
        std::make_shared<ZarnPBeaconMatchingService>(ZarnPBeaconMatchingService::Collaborators{
            .beaconNotificationDao = st.beaconNotificationDao,
            .eventService = s.eventService,
            .notificationReadDao = st.notificationReadDao,
            .commonMatchService = s.commonMatchService,
            .uuidGenerator = uuidGenerator_,
            .contextualPageDao = st.contextualPageDao,
            .clockDao = clockDao_,
            .uiNotificationDao = d.uiNotificationDao,
            .publicLogDao = d.publicLogDao,
            .contextService = s.contextService,
            .db = db_,
        });
}

// The match-run dispatch, phone state, location updates, screen events, app-reported regions,
// the heartbeat, mailing the log and pushed updates; then the delegate links.
void ZarnPModule::buildRunsAndLinks(Services& s) const {
    auto& st = *stores_;
    auto& d = devices_;
    auto fenceMatchService = ZarnPFenceMatchService::create(
        d.fenceDao, d.uiNotificationDao, s.contextService, d.deviceDataDao, st.keyValueDao, d.publicLogDao,
        s.geofenceMatchService, s.beaconMatchService, platform_.notificationCenter, s.commonMatchService,
        db_);
    s.fenceMatchService = fenceMatchService;
    s.phoneStateService =
        ZarnPPhoneStateService::create(st.keyValueDao, s.eventService, d.deviceDataDao, d.delegateDataDao,
                                       platform_.notificationCenter, db_);
    auto locationUpdateService = ZarnPLocationUpdateService::create(
        d.systemSlcDao, d.locationDao, s.notificationService, s.fenceMatchService, s.eventService,
        s.contextService, st.keyValueDao, clockDao_, d.backgroundTaskDao, d.publicLogDao,
        platform_.notificationCenter, db_);
    s.locationUpdateService = locationUpdateService;
    s.screenEventsService = std::make_shared<ZarnPScreenEventsService>(
        timerDao_, s.eventService, s.contextService, d.publicLogDao, s.locationUpdateService,
        platform_.notificationCenter);
    s.externalRegionService = buildExternalRegionService(s, locationUpdateService);
    s.heartbeatService = std::make_shared<ZarnPHeartbeatService>(
        s.eventService, st.keyValueDao, timerDao_, d.deviceDataDao, clockDao_, locationManagerCreator_, db_);
    s.debugLogMailer = std::make_shared<ZarnPDebugLogMailer>(
        timerDao_, d.publicLogDao, s.phoneStateService,
        [mail = platform_.mailComposing, windows = platform_.windowSystem,
         alerts = platform_.alertPresenter](std::shared_ptr<ViewController> parent) {
            return std::make_shared<ZarnPMailHelper>(std::move(parent), mail, windows, alerts);
        });
    s.gcmMediator = std::make_shared<ZarnPGCMMediator>(
        [](const std::vector<std::uint8_t>& bytes) { return ZarnPDataUpdateReader::read(bytes); },
        d.dataUpdateDao);
    linkDelegates(s, fenceMatchService, locationUpdateService);
}

std::shared_ptr<ZarnPExternalRegionTriggering> ZarnPModule::buildExternalRegionService(
    const Services& s, const std::shared_ptr<ZarnPLocationUpdateService>& locationUpdateService) const {
    auto& publicLogDao = devices_.publicLogDao;
    return std::make_shared<ZarnPExternalRegionService>(ZarnPExternalRegionService::Collaborators{
        .regionMatching = std::make_shared<ZarnPExternalRegionMatchingService>(
            ZarnPExternalRegionMatchingService::Collaborators{
                .notificationDao = stores_->externalNotificationDao,
                .notificationReadDao = stores_->notificationReadDao,
                .clockDao = clockDao_,
                .commonMatchService = s.commonMatchService,
                .contextService = s.contextService,
                .segmentationHistoryDao = stores_->segmentationHistoryDao,
                .contextualPageDao = stores_->contextualPageDao,
                .publicLogDao = publicLogDao,
                .eventService = s.eventService,
                .db = db_,
            }),
        .contextService = s.contextService,
        .locationUpdateService = locationUpdateService,
        .clockDao = clockDao_,
        .publicLogDao = publicLogDao,
        .backgroundTaskDao = devices_.backgroundTaskDao,
    });
}

// Push to its mediator to the notification service to the location updates; the platform
// wrappers to the runs they report to.
void ZarnPModule::linkDelegates(
    const Services& s, const std::shared_ptr<ZarnPFenceMatchService>& fenceMatchService,
    const std::shared_ptr<ZarnPLocationUpdateService>& locationUpdateService) const {
    devices_.gcmClient->setDelegate(s.gcmMediator);
    s.gcmMediator->setDelegate(s.notificationService);
    s.notificationService->setDelegate(locationUpdateService);
    s.notificationService->setLocationUpdateService(locationUpdateService);
    // The wrappers are linked on the SDK thread, where their callbacks run.
    timerDao_->invokeBlockOnRunLoop(
        [fence = devices_.fenceDao, fenceMatchService, location = devices_.locationDao,
         slc = devices_.systemSlcDao, locationUpdateService] {
            fence->setDelegate(fenceMatchService);
            location->setDelegate(locationUpdateService);
            slc->setDelegate(locationUpdateService);
        },
        false);
}

}  // namespace zarn
