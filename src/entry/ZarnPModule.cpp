#include "entry/ZarnPModule.h"

#include "core/ZarnException.h"
#include "core/ZarnPLogFileAppender.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "core/ZarnPZarnConfiguration.h"
#include "device/ZarnPBatteryDao.h"
#include "device/ZarnPCrashlyticsStubs.h"
#include "device/ZarnPDataUpdateDao.h"
#include "device/ZarnPDataUpdateReader.h"
#include "device/ZarnPDelegateDataDao.h"
#include "device/ZarnPDeviceIdDao.h"
#include "device/ZarnPFileConfigDao.h"
#include "device/ZarnPGCMClient.h"
#include "device/ZarnPHttpDao.h"
#include "device/ZarnPHttpRequestCreator.h"
#include "device/ZarnPKeyValueDao.h"
#include "device/ZarnPLocationManagerCreator.h"
#include "device/ZarnPNetworkDao.h"
#include "device/ZarnPSystemBackgroundTaskDao.h"
#include "device/ZarnPSystemDeviceDataDao.h"
#include "device/ZarnPSystemFenceDao.h"
#include "device/ZarnPSystemPublicLogDao.h"
#include "device/ZarnPSystemSLCDao.h"
#include "device/ZarnPSystemUINotificationDao.h"
#include "entry/ZarnPZarnInterface.h"
#include "services/ZarnPBeaconMatchingService.h"
#include "services/ZarnPCommonMatchService.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
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
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteDataUpdateSaveOrchestrator.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteKeyValueDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/ZarnPSqLiteSentTriggerDao.h"
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
    });
    *facadeForLog_ = interface_;
    // The user-notification-centre delegate joins with the opening of tapped notifications.
}

ZarnPModule::~ZarnPModule() {
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
    auto services = platform::current();
    slcDao_ =
        std::make_shared<ZarnPSystemSLCDao>(timerDao_, clockDao_, backgroundTaskDao_, contextService_,
                                            services.locationManagerFactory, services.locationAuthorization);
    gcmClient_ = std::make_shared<ZarnPGCMClient>();

    initService();

    // Every store has registered: open the database on the SDK thread.
    auto db = db_;
    timerDao_->invokeBlockOnRunLoop([db] { db->database(); }, false);
}

void ZarnPModule::initDao(const std::shared_ptr<ZarnDelegate>& delegate) {
    if (!timerDao_)
        timerDao_ = std::make_shared<ZarnPSystemTimerDao>(services_.timeSource, platform::mainRunLoop(),
                                                          services_.application);
    backgroundTaskDao_ = std::make_shared<ZarnPSystemBackgroundTaskDao>(timerDao_, services_.backgroundTasks,
                                                                        services_.application);
    sqliteKeyValueDao_ = std::make_shared<ZarnPSqLiteKeyValueDao>(db_);
    keyValueDao_ = sqliteKeyValueDao_->keyValueDao();
    // The cooldown and beacon-notification stores come here.
    contextualPageDao_ = std::make_shared<ZarnPSqLiteContextualPageDao>();
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
    sentTriggerDao_ = std::make_shared<ZarnPSqLiteSentTriggerDao>();
    uiNotificationDao_ = std::make_shared<ZarnPSystemUINotificationDao>();
    if (!clockDao_)
        clockDao_ = std::make_shared<ZarnPSystemClockDao>(services_.timeSource);
    segmentationDao_ = std::make_shared<ZarnPSqLiteSegmentationDao>(db_);
    segmentationHistoryDao_ = std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db_);
    // The location wrapper, the segmentation stores with their validator, the notification read
    // store and the local and external notification stores come here.
    delegateDataDao_ = std::make_shared<ZarnPDelegateDataDao>(delegate);
    // The export header reads the facade's flag as it stands: the public isEnabled could wait
    // for the SDK thread, which is where the export runs.
    publicLogDao_ = std::make_shared<ZarnPSystemPublicLogDao>(
        clockDao_, deviceDataDao_, delegateDataDao_, services_.fileSystem, services_.timeSource,
        [facade = facadeForLog_] {
            auto self = facade->lock();
            return self && self->isEnabledWithoutWaiting();
        });
    landingPage_ = std::make_shared<ZarnPLandingPage>();
    // Kept only so that its stores, the first of their classes, are the ones that migrate.
    dataUpdateSaveOrchestrator_ = std::make_shared<ZarnPSqLiteDataUpdateSaveOrchestrator>(db_, publicLogDao_);
    dataUpdateDaos_ = ZarnPSqLiteDataUpdateSaveOrchestrator::registerDaos(db_);
}

void ZarnPModule::initService() {
    logEventWriter_ = std::make_shared<ZarnPLogEventWriter>(eventService_, timerDao_);
    ZarnPLogger::instance().addListener(logEventWriter_);
    locationUpdateService_ = std::make_shared<ZarnPLocationUpdateService>();
    notificationService_ = ZarnPNotificationService::create(ZarnPNotificationService::Collaborators{
        // PLACEHOLDER: the local and beacon notification stores join when they are built.
        .localDao = nullptr,
        .beaconDao = nullptr,
        .remoteDao = dataUpdateDao_,
        .eventDao = eventDao_,
        .keyValueDao = keyValueDao_,
        .publicLogDao = publicLogDao_,
        .eventService = eventService_,
        .locationUpdateService = locationUpdateService_,
        .contextService = contextService_,
        .segmentationService = segmentationService_,
        .clockDao = clockDao_,
    });
    segmentationService_->setNotificationService(notificationService_);
    commonMatchService_ = std::make_shared<ZarnPCommonMatchService>();
    geofenceMatchService_ = std::make_shared<ZarnPGeofenceMatchingService>();
    beaconMatchService_ = std::make_shared<ZarnPBeaconMatchingService>();
    // The external-region matching service comes here.
    fenceMatchService_ = std::make_shared<ZarnPFenceMatchService>();
    phoneStateService_ = std::make_shared<ZarnPPhoneStateService>();
    screenEventsService_ = std::make_shared<ZarnPScreenEventsService>();
    externalRegionService_ = std::make_shared<ZarnPExternalRegionService>();
    heartbeatService_ = std::make_shared<ZarnPHeartbeatService>();
    // The push mediator and the delegate links between the push client, the notification
    // service, the location update service and the location wrappers come with those services.
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
        // The nearest-query cache joins with the notification read store.
        .invalidateCache = nullptr,
    };
    dataUpdateDao_ = ZarnPDataUpdateDao::create(std::move(c));
}

}  // namespace zarn
