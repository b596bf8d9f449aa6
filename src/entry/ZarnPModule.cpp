#include "entry/ZarnPModule.h"

#include "entry/ZarnPLoadedNotificationStores.h"

#include "core/ZarnException.h"
#include "core/ZarnPLogFileAppender.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "core/ZarnPZarnConfiguration.h"
#include "device/exchange/ZarnPDataUpdateDao.h"
#include "device/exchange/ZarnPHttpDao.h"
#include "device/exchange/ZarnPHttpRequestCreator.h"
#include "device/push/ZarnPGCMClient.h"
#include "device/push/ZarnPGCMMediator.h"
#include "device/system/ZarnPBatteryDao.h"
#include "device/system/ZarnPCrashlyticsStubs.h"
#include "device/system/ZarnPDelegateDataDao.h"
#include "device/system/ZarnPFileConfigDao.h"
#include "device/system/ZarnPLocationManagerCreator.h"
#include "device/system/ZarnPMailHelper.h"
#include "device/system/ZarnPNetworkDao.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "device/system/ZarnPSystemDeviceDataDao.h"
#include "device/system/ZarnPSystemFenceDao.h"
#include "device/system/ZarnPSystemLocationDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemSLCDao.h"
#include "device/system/ZarnPSystemUINotificationDao.h"
#include "entry/ZarnPUserNotificationCenterDelegate.h"
#include "entry/ZarnPZarnInterface.h"
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
#include "store/ZarnPGeohashReadDao.h"
#include "store/ZarnPSegmentationPropertyValidator.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/ZarnPSqLiteNotificationDao.h"
#include "store/ZarnPSqLiteNotificationReadDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/ZarnPSqLiteSentTriggerDao.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/dataupdate/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "zarn/ZarnVersion.h"
#include "zarn/platform/Platform.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "Module";
constexpr int kSchemaVersion = 22;
}  // namespace

ZarnPModule::ZarnPModule(std::shared_ptr<ZarnPZarnConfiguration> configuration,
                         std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator,
                         std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator)
    : ZarnPModule(std::move(configuration), std::move(httpRequestCreator), nullptr, nullptr,
                  std::move(locationManagerCreator), nullptr, nullptr) {}

ZarnPModule::ZarnPModule(std::shared_ptr<ZarnPZarnConfiguration> configuration,
                         std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator,
                         std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                         std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator,
                         std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
                         std::shared_ptr<ZarnPClockDao> clockDao)
    : services_(platform::current()),
      configuration_(configuration),
      db_(std::move(db)),
      timerDao_(std::move(timerDao)),
      deviceDataDao_(std::move(deviceDataDao)),
      clockDao_(std::move(clockDao)),
      facadeForLog_(std::make_shared<std::weak_ptr<ZarnPZarnInterface>>()) {
    setupLogging();
    httpRequestCreator_ = std::move(httpRequestCreator);
    locationManagerCreator_ = std::move(locationManagerCreator);
    uuidGenerator_ = std::make_shared<ZarnPUuidGenerator>();
    if (!db_) {
        auto& fs = services_.fileSystem;
        db_ = std::make_shared<ZarnPSqLiteDb>(kSchemaVersion, fs->expandTilde("~/Documents/zarn.db"), fs);
        // The testing build (anything handed in) does not check the opening thread.
        if (timerDao_ || deviceDataDao_ || clockDao_)
            db_->disableThreadCheck();
    }
    initDaoAndService(configuration ? configuration->delegate() : nullptr);
    interface_ = ZarnPZarnInterface::create(ZarnPZarnInterface::Collaborators{
        .eventService = eventService_,
        .keyValueDao = keyValueDao_,
        .uiNotificationDao = uiNotificationDao_,
        .contextualPageDao = contextualPageDao_,
        .sentTriggerDao = sentTriggerDao_,
        .timerDao = timerDao_,
        .publicLogDao = publicLogDao_,
        .matchService = fenceMatchService_,
        .notificationService = notificationService_,
        .locationUpdateService = locationUpdateService_,
        .phoneStateService = phoneStateService_,
        .heartbeatService = heartbeatService_,
        .segmentationService = segmentationService_,
        .landingPage = landingPage_,
        .fileConfigDao = fileConfigDao_,
        .gcmClient = gcmClient_,
        .slcDao = slcDao_,
        .contextService = contextService_,
        .clockDao = clockDao_,
        .application = services_.application,
        .notificationCenter = services_.notificationCenter,
        .configuration = configuration_,
        .geofenceMatchService = geofenceMatchService_,
        .beaconMatchService = beaconMatchService_,
        .commonMatchService = commonMatchService_,
        .externalRegionService = externalRegionService_,
        .deviceIdDao = deviceIdDao_,
        .screenEventsService = screenEventsService_,
        .db = db_,
        .mainBundle = services_.mainBundle,
        .debugLogMailer = debugLogMailer_,
        .localNotificationCenter = services_.localNotificationCenter,
        .urlOpener = services_.urlOpener,
    });
    *facadeForLog_ = interface_;
    // Installed last, so that the delegate the app set before initialising stays its fallback.
    if (services_.localNotificationCenter)
        userNotificationCenterDelegate_ = ZarnPUserNotificationCenterDelegate::create(
            interface_, services_.localNotificationCenter, contextService_);
}

ZarnPModule::~ZarnPModule() {
    // The platform wrappers hold their delegates strongly and the delegates hold the wrappers:
    // the links are cut on the SDK thread, where the callbacks run, so that both sides go.
    if (timerDao_ && (fenceDao_ || locationDao_ || systemSlcDao_))
        timerDao_->invokeBlockOnRunLoop(
            [fence = fenceDao_, location = locationDao_, slc = systemSlcDao_] {
                if (fence)
                    fence->setDelegate(nullptr);
                if (location)
                    location->setDelegate(nullptr);
                if (slc)
                    slc->setDelegate(nullptr);
            },
            true);
    // The context service reaches the event service, which reaches the exchange and the fence
    // store, which hold the context service again: without this cut the whole graph outlives us.
    if (contextService_)
        contextService_->setEventService(nullptr);
    auto& logger = ZarnPLogger::instance();
    logger.setErrorRecorder(nullptr);
    if (logEventWriter_)
        logger.removeListener(logEventWriter_);
    if (logFileAppender_)
        logger.removeListener(logFileAppender_);
    if (interface_)
        interface_->cleanUp();
}

std::shared_ptr<ZarnPPublicFacade> ZarnPModule::interface() {
    return interface_;
}

void ZarnPModule::setupLogging() {
    ZarnPLogger::instance().setErrorRecorder(std::make_shared<ZarnPCrashlyticsErrorRecorder>());
    logFileAppender_ = std::make_shared<ZarnPLogFileAppender>("~/Documents/zarn.log", services_.fileSystem,
                                                              services_.timeSource);
    ZarnPLogger::instance().addListener(logFileAppender_);
    LogDebug(kDomain, "Zarn started > %@", kZarnVersion);
}

void ZarnPModule::initDaoAndService(const std::shared_ptr<ZarnDelegate>& delegate) {
    initDao(delegate);

    contextService_ = std::make_shared<ZarnPContextService>(clockDao_);
    fenceDao_ = std::make_shared<ZarnPSystemFenceDao>(nullptr, backgroundTaskDao_, keyValueDao_, timerDao_,
                                                      contextService_, services_.locationManagerFactory,
                                                      services_.locationAuthorization);
    initDataUpdateDao();
    segmentationService_ = std::make_shared<ZarnPSegmentationService>(keyValueDao_, segmentationDao_,
                                                                      segmentationHistoryDao_, publicLogDao_);
    eventService_ = ZarnPEventService::create(eventDao_, keyValueDao_, uuidGenerator_, segmentationService_,
                                              dataUpdateDao_, clockDao_, services_.notificationCenter);
    contextService_->setEventService(eventService_);
    contextService_->setTimerDao(timerDao_);
    systemSlcDao_ = std::make_shared<ZarnPSystemSLCDao>(timerDao_, clockDao_, backgroundTaskDao_,
                                                        contextService_, services_.locationManagerFactory,
                                                        services_.locationAuthorization);
    slcDao_ = systemSlcDao_;
    gcmClient_ =
        std::make_shared<ZarnPGCMClient>(keyValueDao_, timerDao_, contextService_, services_.pushMessaging,
                                         services_.deviceInfo, services_.notificationCenter);

    initService();

    // Every store has registered: open the database on the SDK thread.
    auto db = db_;
    timerDao_->invokeBlockOnRunLoop([db] { db->database(); }, false);
}

void ZarnPModule::initDao(const std::shared_ptr<ZarnDelegate>& delegate) {
    // The clock depends on nothing; it comes first because the contextual page table dates its rows.
    if (!clockDao_)
        clockDao_ = std::make_shared<ZarnPSystemClockDao>(services_.timeSource);
    if (!timerDao_)
        timerDao_ = std::make_shared<ZarnPSystemTimerDao>(services_.timeSource, platform::mainRunLoop(),
                                                          services_.application);
    backgroundTaskDao_ = std::make_shared<ZarnPSystemBackgroundTaskDao>(timerDao_, services_.backgroundTasks,
                                                                        services_.application);
    sqliteKeyValueDao_ = std::make_shared<ZarnPSqLiteKeyValueDao>(db_);
    keyValueDao_ = sqliteKeyValueDao_->keyValueDao();
    cooldownDao_ = std::make_shared<ZarnPSqLiteCooldownDao>(db_);
    beaconNotificationDao_ = std::make_shared<ZarnPSqLiteBeaconNotificationDao>(db_, cooldownDao_, clockDao_);
    contextualPageDao_ = std::make_shared<ZarnPSqLiteContextualPageDao>(db_, clockDao_);
    eventDao_ = std::make_shared<ZarnPSqLiteEventDao>(db_);
    httpDao_ = std::make_shared<ZarnPHttpDao>(
        backgroundTaskDao_,
        [](const std::vector<std::uint8_t>& bytes) { return ZarnPDataUpdateReader::read(bytes); },
        httpRequestCreator_, services_.serviceBaseAddress);
    deviceIdDao_ = std::make_shared<ZarnPDeviceIdDao>(uuidGenerator_, keyValueDao_);
    geohashReadDao_ = std::make_shared<ZarnPGeohashReadDao>(db_);
    // The reachability of the connection type is read for the host of the installed address.
    networkDao_ = std::make_shared<ZarnPNetworkDao>(ZarnPHttpDao::hostOf(services_.serviceBaseAddress),
                                                    services_.reachability);
    batteryDao_ = std::make_shared<ZarnPBatteryDao>(services_.battery);
    if (!deviceDataDao_)
        deviceDataDao_ = std::make_shared<ZarnPSystemDeviceDataDao>(keyValueDao_, timerDao_, services_);
    fileConfigDao_ = std::make_shared<ZarnPFileConfigDao>(services_.libraryBundle, services_.mainBundle,
                                                          services_.fileSystem);
    sentTriggerDao_ = std::make_shared<ZarnPSqLiteSentTriggerDao>(db_);
    uiNotificationDao_ = std::make_shared<ZarnPSystemUINotificationDao>(
        timerDao_, services_.localNotificationCenter, services_.deviceInfo);
    segmentationDao_ = std::make_shared<ZarnPSqLiteSegmentationDao>(db_);
    segmentationHistoryDao_ = std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db_);
    segmentationPropertyValidator_ =
        std::make_shared<ZarnPSegmentationPropertyValidator>(clockDao_, segmentationHistoryDao_);
    notificationReadDao_ = std::make_shared<ZarnPSqLiteNotificationReadDao>(
        db_, cooldownDao_, clockDao_, segmentationDao_, segmentationPropertyValidator_);
    locationDao_ = std::make_shared<ZarnPSystemLocationDao>(timerDao_, clockDao_, locationManagerCreator_);
    notificationDao_ =
        std::make_shared<ZarnPSqLiteNotificationDao>(db_, cooldownDao_, clockDao_, notificationReadDao_);
    externalNotificationDao_ =
        std::make_shared<ZarnPSqLiteExternalNotificationDao>(db_, cooldownDao_, clockDao_);
    delegateDataDao_ = std::make_shared<ZarnPDelegateDataDao>(delegate);
    // The export header reads the facade's flag as it stands: the public isEnabled could wait
    // for the SDK thread, which is where the export runs.
    publicLogDao_ = std::make_shared<ZarnPSystemPublicLogDao>(
        clockDao_, deviceDataDao_, delegateDataDao_, services_.fileSystem, services_.timeSource,
        [facade = facadeForLog_] {
            auto self = facade->lock();
            return self && self->isEnabledWithoutWaiting();
        });
    landingPage_ =
        std::make_shared<ZarnPLandingPage>(services_.windowSystem, services_.urlOpener, services_.deviceInfo);
    // Kept only so that its stores, the first of their classes, are the ones that migrate.
    dataUpdateSaveOrchestrator_ = std::make_shared<ZarnPSqLiteDataUpdateSaveOrchestrator>(db_, publicLogDao_);
    dataUpdateDaos_ = ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db_);
}

void ZarnPModule::initService() {
    logEventWriter_ = std::make_shared<ZarnPLogEventWriter>(eventService_, timerDao_);
    ZarnPLogger::instance().addListener(logEventWriter_);
    notificationService_ = ZarnPNotificationService::create(ZarnPNotificationService::Collaborators{
        .localDao = std::make_shared<ZarnPLoadedLocalNotifications>(notificationDao_),
        .beaconDao = std::make_shared<ZarnPLoadedBeaconNotifications>(beaconNotificationDao_),
        .remoteDao = dataUpdateDao_,
        .eventDao = eventDao_,
        .keyValueDao = keyValueDao_,
        .publicLogDao = publicLogDao_,
        .eventService = eventService_,
        .contextService = contextService_,
        .segmentationService = segmentationService_,
        .clockDao = clockDao_,
    });
    segmentationService_->setNotificationService(notificationService_);
    commonMatchService_ = ZarnPCommonMatchService::create(ZarnPCommonMatchService::Collaborators{
        .notificationDao = notificationDao_,
        .publicLogDao = publicLogDao_,
        .deviceDataDao = deviceDataDao_,
        .contextualPageDao = contextualPageDao_,
        .sentTriggerDao = sentTriggerDao_,
        .keyValueDao = keyValueDao_,
        .clockDao = clockDao_,
        .contextService = contextService_,
        .uiNotificationDao = uiNotificationDao_,
        .fenceDao = fenceDao_,
        .uuidGenerator = uuidGenerator_,
        .beaconNotificationDao = beaconNotificationDao_,
        .externalNotificationDao = externalNotificationDao_,
        .eventService = eventService_,
        .timerDao = timerDao_,
        .segmentationHistoryDao = segmentationHistoryDao_,
        .db = db_,
    });
    geofenceMatchService_ =
        std::make_shared<ZarnPGeofenceMatchingService>(ZarnPGeofenceMatchingService::Collaborators{
            .commonMatchService = commonMatchService_,
            .notificationReadDao = notificationReadDao_,
            .notificationDao = notificationDao_,
            .eventService = eventService_,
            .publicLogDao = publicLogDao_,
            .contextService = contextService_,
            .contextualPageDao = contextualPageDao_,
            .clockDao = clockDao_,
            .segmentationHistoryDao = segmentationHistoryDao_,
        });
    beaconMatchService_ =
        std::make_shared<ZarnPBeaconMatchingService>(ZarnPBeaconMatchingService::Collaborators{
            .beaconNotificationDao = beaconNotificationDao_,
            .eventService = eventService_,
            .notificationReadDao = notificationReadDao_,
            .commonMatchService = commonMatchService_,
            .uuidGenerator = uuidGenerator_,
            .contextualPageDao = contextualPageDao_,
            .clockDao = clockDao_,
            .uiNotificationDao = uiNotificationDao_,
            .publicLogDao = publicLogDao_,
            .contextService = contextService_,
        });
    auto fenceMatchService = ZarnPFenceMatchService::create(
        fenceDao_, uiNotificationDao_, contextService_, deviceDataDao_, keyValueDao_, publicLogDao_,
        geofenceMatchService_, beaconMatchService_, services_.notificationCenter);
    fenceMatchService_ = fenceMatchService;
    phoneStateService_ = ZarnPPhoneStateService::create(keyValueDao_, eventService_, deviceDataDao_,
                                                        delegateDataDao_, services_.notificationCenter);
    auto locationUpdateService = ZarnPLocationUpdateService::create(
        systemSlcDao_, locationDao_, notificationService_, fenceMatchService_, eventService_, contextService_,
        keyValueDao_, clockDao_, backgroundTaskDao_, publicLogDao_, services_.notificationCenter);
    locationUpdateService_ = locationUpdateService;
    screenEventsService_ =
        std::make_shared<ZarnPScreenEventsService>(timerDao_, eventService_, contextService_, publicLogDao_,
                                                   locationUpdateService_, services_.notificationCenter);
    externalRegionService_ =
        std::make_shared<ZarnPExternalRegionService>(ZarnPExternalRegionService::Collaborators{
            .regionMatching = std::make_shared<ZarnPExternalRegionMatchingService>(
                ZarnPExternalRegionMatchingService::Collaborators{
                    .notificationDao = externalNotificationDao_,
                    .notificationReadDao = notificationReadDao_,
                    .clockDao = clockDao_,
                    .commonMatchService = commonMatchService_,
                    .contextService = contextService_,
                    .segmentationHistoryDao = segmentationHistoryDao_,
                    .contextualPageDao = contextualPageDao_,
                    .publicLogDao = publicLogDao_,
                    .eventService = eventService_,
                }),
            .contextService = contextService_,
            .locationUpdateService = locationUpdateService,
            .clockDao = clockDao_,
            .publicLogDao = publicLogDao_,
            .backgroundTaskDao = backgroundTaskDao_,
        });
    heartbeatService_ = std::make_shared<ZarnPHeartbeatService>(
        eventService_, keyValueDao_, timerDao_, deviceDataDao_, clockDao_, locationManagerCreator_);
    debugLogMailer_ = std::make_shared<ZarnPDebugLogMailer>(
        timerDao_, publicLogDao_, phoneStateService_,
        [mail = services_.mailComposing, windows = services_.windowSystem,
         alerts = services_.alertPresenter](std::shared_ptr<ViewController> parent) {
            return std::make_shared<ZarnPMailHelper>(std::move(parent), mail, windows, alerts);
        });
    gcmMediator_ = std::make_shared<ZarnPGCMMediator>(
        [](const std::vector<std::uint8_t>& bytes) { return ZarnPDataUpdateReader::read(bytes); },
        dataUpdateDao_);
    gcmClient_->setDelegate(gcmMediator_);
    gcmMediator_->setDelegate(notificationService_);
    notificationService_->setDelegate(locationUpdateService);
    notificationService_->setLocationUpdateService(locationUpdateService);
    // The wrappers are linked on the SDK thread, where their callbacks run.
    timerDao_->invokeBlockOnRunLoop(
        [fence = fenceDao_, fenceMatchService, location = locationDao_, slc = systemSlcDao_,
         locationUpdateService] {
            fence->setDelegate(fenceMatchService);
            location->setDelegate(locationUpdateService);
            slc->setDelegate(locationUpdateService);
        },
        false);
}

void ZarnPModule::initDataUpdateDao() {
    ZarnPDataUpdateDao::Collaborators c{
        .httpDao = httpDao_,
        .deviceIdDao = deviceIdDao_,
        .networkDao = networkDao_,
        .batteryDao = batteryDao_,
        .geohashReadDao = geohashReadDao_,
        .fenceDao = fenceDao_,
        .publicLogDao = publicLogDao_,
        .keyValueDao = keyValueDao_,
        .clockDao = clockDao_,
        .save =
            [orchestrator = dataUpdateSaveOrchestrator_](
                const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& root,
                const std::shared_ptr<ZarnPContext>& context) {
                auto result = orchestrator->save(root, context);
                return ZarnPDataUpdateSaveOutcome{
                    .deleteAllOldData = result.deleteAllOldData(),
                    .beaconUuids = {result.beaconUuids().begin(), result.beaconUuids().end()},
                    .storedBeaconUuids = {result.storedBeaconUuids().begin(),
                                          result.storedBeaconUuids().end()},
                };
            },
        .invalidateCache = [read = notificationReadDao_] { read->invalidate(); },
    };
    dataUpdateDao_ = ZarnPDataUpdateDao::create(std::move(c));
}

}  // namespace zarn
