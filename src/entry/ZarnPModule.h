#pragma once
#include <memory>
#include <vector>

#include "entry/ZarnPPublicFacade.h"
#include "zarn/platform/Platform.h"

namespace zarn {

class ZarnPBatteryDao;
class ZarnPBeaconNotificationDao;
class ZarnPBeaconMatching;
class ZarnPClockDao;
class ZarnPContextService;
class ZarnPContextualPageDao;
class ZarnPDebugLogMailer;
class ZarnPDelegateDataDao;
class ZarnPDeviceDataDao;
class ZarnPDeviceIdDao;
class ZarnPEventService;
class ZarnPExternalRegionTriggering;
class ZarnPExternalNotificationDao;
class ZarnPFileConfigDao;
class ZarnPGeofenceMatching;
class ZarnPHeartbeatScheduling;
class ZarnPHttpRequestCreator;
class ZarnPKeyValueDao;
class ZarnPLandingPageShowing;
class ZarnPLocalNotificationDao;
class ZarnPLocationManagerCreator;
class ZarnPLocationUpdating;
class ZarnPLogEventWriter;
class ZarnPLogFileAppender;
class ZarnPMatchRunDispatching;
class ZarnPNetworkDao;
class ZarnPDataUpdateDao;
class ZarnPFenceDao;
class ZarnPGeohashReadDao;
class ZarnPHttpDao;
class ZarnPNotificationService;
class ZarnPSegmentationService;
class ZarnPSqLiteSegmentationDao;
class ZarnPSqLiteSegmentationHistoryDao;
class ZarnPNotificationLoading;
class ZarnPCommonMatching;
class ZarnPPhoneStateReporting;
class ZarnPGCMClient;
class ZarnPGCMMediator;
class ZarnPPushMessaging;
class ZarnPRemoteEventAndNotificationDao;
class ZarnPScreenEventTracking;
class ZarnPSegmentationReading;
class ZarnPSentTriggerDao;
class ZarnPSignificantChangeMonitoring;
class ZarnPSegmentationPropertyValidator;
class ZarnPSqLiteBeaconNotificationDao;
class ZarnPSqLiteCooldownDao;
class ZarnPSqLiteDao;
class ZarnPSqLiteDataUpdateSaveOrchestrator;
class ZarnPSqLiteDb;
class ZarnPSqLiteEventDao;
class ZarnPSqLiteExternalNotificationDao;
class ZarnPSqLiteKeyValueDao;
class ZarnPSqLiteNotificationReadDao;
class ZarnPSystemFenceDao;
class ZarnPSystemLocationDao;
class ZarnPSystemSLCDao;
class ZarnPSqLiteNotificationDao;
class ZarnPSystemBackgroundTaskDao;
class ZarnPSystemPublicLogDao;
class ZarnPSystemTimerDao;
class ZarnPUINotificationDao;
class ZarnPUserNotificationCenterDelegate;
class ZarnPUuidGenerator;
class ZarnPZarnConfiguration;
class ZarnPZarnInterface;

// Builds every long-lived object of the library once, in a fixed order, gives each its
// collaborators, links the delegate chains and holds them for the life of the process. The
// public entry reaches the library only through interface().
class ZarnPModule final : public ZarnPEntryModule {
  public:
    ZarnPModule(std::shared_ptr<ZarnPZarnConfiguration> configuration,
                std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator,
                std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator);
    // The same build with the database, timer wrapper, device-data store and clock given; any
    // that is null is built as usual. Without a database the default one is built with its
    // main-thread check switched off.
    ZarnPModule(std::shared_ptr<ZarnPZarnConfiguration> configuration,
                std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator,
                std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator,
                std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao, std::shared_ptr<ZarnPClockDao> clockDao);
    ~ZarnPModule() override;

    std::shared_ptr<ZarnPPublicFacade> interface() override;
    const std::shared_ptr<ZarnPZarnInterface>& facade() const { return interface_; }
    const std::shared_ptr<ZarnPSqLiteDb>& db() const { return db_; }
    void setDb(std::shared_ptr<ZarnPSqLiteDb> db) { db_ = std::move(db); }
    const std::shared_ptr<ZarnPSignificantChangeMonitoring>& getSlcDao() const { return slcDao_; }
    const std::shared_ptr<ZarnPExternalRegionTriggering>& getExternalRegionService() const {
        return externalRegionService_;
    }

    // What the services were given, for checks of the wiring.
    const std::shared_ptr<ZarnPClockDao>& clockDao() const { return clockDao_; }
    const std::shared_ptr<ZarnPSystemTimerDao>& timerDao() const { return timerDao_; }
    const std::shared_ptr<ZarnPDeviceDataDao>& deviceDataDao() const { return deviceDataDao_; }
    const std::shared_ptr<ZarnPKeyValueDao>& keyValueDao() const { return keyValueDao_; }
    const std::shared_ptr<ZarnPEventService>& eventService() const { return eventService_; }
    const std::shared_ptr<ZarnPSqLiteEventDao>& eventDao() const { return eventDao_; }
    const std::shared_ptr<ZarnPContextService>& contextService() const { return contextService_; }
    const std::shared_ptr<ZarnPSystemPublicLogDao>& publicLogDao() const { return publicLogDao_; }
    const std::shared_ptr<ZarnPLogFileAppender>& logFileAppender() const { return logFileAppender_; }
    const std::shared_ptr<ZarnPLogEventWriter>& logEventWriter() const { return logEventWriter_; }
    const std::shared_ptr<ZarnPCommonMatching>& commonMatchService() const { return commonMatchService_; }
    const std::shared_ptr<ZarnPHeartbeatScheduling>& heartbeatService() const { return heartbeatService_; }
    const std::shared_ptr<ZarnPPhoneStateReporting>& phoneStateService() const { return phoneStateService_; }
    const std::shared_ptr<ZarnPLandingPageShowing>& landingPage() const { return landingPage_; }
    const std::shared_ptr<ZarnPSystemBackgroundTaskDao>& backgroundTaskDao() const {
        return backgroundTaskDao_;
    }
    const std::shared_ptr<ZarnPSqLiteNotificationReadDao>& notificationReadDao() const {
        return notificationReadDao_;
    }
    const std::shared_ptr<ZarnPSystemFenceDao>& fenceDao() const { return fenceDao_; }
    const std::shared_ptr<ZarnPSystemLocationDao>& locationDao() const { return locationDao_; }
    const std::shared_ptr<ZarnPMatchRunDispatching>& fenceMatchService() const { return fenceMatchService_; }
    const std::shared_ptr<ZarnPLocationUpdating>& locationUpdateService() const {
        return locationUpdateService_;
    }
    const std::shared_ptr<ZarnPContextualPageDao>& contextualPageDao() const { return contextualPageDao_; }
    const std::shared_ptr<ZarnPSqLiteCooldownDao>& cooldownDao() const { return cooldownDao_; }
    const std::shared_ptr<ZarnPSqLiteBeaconNotificationDao>& beaconNotificationDao() const {
        return beaconNotificationDao_;
    }
    const std::shared_ptr<ZarnPSqLiteNotificationDao>& notificationDao() const { return notificationDao_; }
    const std::shared_ptr<ZarnPSqLiteExternalNotificationDao>& externalNotificationDao() const {
        return externalNotificationDao_;
    }
    const std::shared_ptr<ZarnPDataUpdateDao>& dataUpdateDao() const { return dataUpdateDao_; }
    const std::shared_ptr<ZarnPGCMClient>& gcmClient() const { return gcmClient_; }
    const std::shared_ptr<ZarnPGCMMediator>& gcmMediator() const { return gcmMediator_; }
    const std::shared_ptr<ZarnPNotificationService>& notificationService() const {
        return notificationService_;
    }
    const std::shared_ptr<ZarnPSegmentationService>& segmentationService() const {
        return segmentationService_;
    }
    const std::shared_ptr<ZarnPUserNotificationCenterDelegate>& userNotificationCenterDelegate() const {
        return userNotificationCenterDelegate_;
    }

  private:
    void setupLogging();
    void initDaoAndService(const std::shared_ptr<ZarnDelegate>& delegate);
    void initDao(const std::shared_ptr<ZarnDelegate>& delegate);
    void initService();
    void initDataUpdateDao();

    // The installed platform, read once at the start of the build.
    platform::Services services_;
    std::shared_ptr<ZarnPZarnConfiguration> configuration_;
    std::shared_ptr<ZarnPLogFileAppender> logFileAppender_;
    std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator_;
    std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator_;
    std::shared_ptr<ZarnPUuidGenerator> uuidGenerator_;
    std::shared_ptr<ZarnPSqLiteDb> db_;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    std::shared_ptr<ZarnPSystemBackgroundTaskDao> backgroundTaskDao_;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> sqliteKeyValueDao_;
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao_;
    std::shared_ptr<ZarnPSqLiteBeaconNotificationDao> beaconNotificationDao_;
    std::shared_ptr<ZarnPContextualPageDao> contextualPageDao_;
    std::shared_ptr<ZarnPSqLiteEventDao> eventDao_;
    std::shared_ptr<ZarnPDeviceIdDao> deviceIdDao_;
    std::shared_ptr<ZarnPNetworkDao> networkDao_;
    std::shared_ptr<ZarnPBatteryDao> batteryDao_;
    std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao_;
    std::shared_ptr<ZarnPFileConfigDao> fileConfigDao_;
    std::shared_ptr<ZarnPSentTriggerDao> sentTriggerDao_;
    std::shared_ptr<ZarnPUINotificationDao> uiNotificationDao_;
    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::shared_ptr<ZarnPSqLiteSegmentationDao> segmentationDao_;
    std::shared_ptr<ZarnPSqLiteSegmentationHistoryDao> segmentationHistoryDao_;
    std::shared_ptr<ZarnPSegmentationPropertyValidator> segmentationPropertyValidator_;
    std::shared_ptr<ZarnPSqLiteNotificationReadDao> notificationReadDao_;
    std::shared_ptr<ZarnPSqLiteNotificationDao> notificationDao_;
    std::shared_ptr<ZarnPSqLiteExternalNotificationDao> externalNotificationDao_;
    std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao_;
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao_;
    std::shared_ptr<ZarnPLandingPageShowing> landingPage_;
    std::shared_ptr<ZarnPSqLiteDataUpdateSaveOrchestrator> dataUpdateSaveOrchestrator_;
    std::vector<std::shared_ptr<ZarnPSqLiteDao>> dataUpdateDaos_;
    std::shared_ptr<ZarnPContextService> contextService_;
    std::shared_ptr<ZarnPHttpDao> httpDao_;
    std::shared_ptr<ZarnPGeohashReadDao> geohashReadDao_;
    std::shared_ptr<ZarnPDataUpdateDao> dataUpdateDao_;
    std::shared_ptr<ZarnPSegmentationService> segmentationService_;
    std::shared_ptr<ZarnPEventService> eventService_;
    std::shared_ptr<ZarnPSignificantChangeMonitoring> slcDao_;
    std::shared_ptr<ZarnPSystemSLCDao> systemSlcDao_;
    std::shared_ptr<ZarnPSystemLocationDao> locationDao_;
    std::shared_ptr<ZarnPSystemFenceDao> fenceDao_;
    std::shared_ptr<ZarnPGCMClient> gcmClient_;
    std::shared_ptr<ZarnPGCMMediator> gcmMediator_;
    std::shared_ptr<ZarnPLogEventWriter> logEventWriter_;
    std::shared_ptr<ZarnPNotificationService> notificationService_;
    std::shared_ptr<ZarnPCommonMatching> commonMatchService_;
    std::shared_ptr<ZarnPGeofenceMatching> geofenceMatchService_;
    std::shared_ptr<ZarnPBeaconMatching> beaconMatchService_;
    std::shared_ptr<ZarnPMatchRunDispatching> fenceMatchService_;
    std::shared_ptr<ZarnPPhoneStateReporting> phoneStateService_;
    std::shared_ptr<ZarnPLocationUpdating> locationUpdateService_;
    std::shared_ptr<ZarnPScreenEventTracking> screenEventsService_;
    std::shared_ptr<ZarnPExternalRegionTriggering> externalRegionService_;
    std::shared_ptr<ZarnPHeartbeatScheduling> heartbeatService_;
    std::shared_ptr<ZarnPDebugLogMailer> debugLogMailer_;
    std::shared_ptr<ZarnPZarnInterface> interface_;
    std::shared_ptr<ZarnPUserNotificationCenterDelegate> userNotificationCenterDelegate_;
    // The facade as the public log's enabled query reads it; filled once the facade exists.
    std::shared_ptr<std::weak_ptr<ZarnPZarnInterface>> facadeForLog_;
};

}  // namespace zarn
