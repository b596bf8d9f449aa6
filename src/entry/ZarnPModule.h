#pragma once
#include <memory>

#include "entry/ZarnPPublicFacade.h"

namespace zarn {

class ZarnPBaseKeyValueDao;
class ZarnPBatteryDao;
class ZarnPBeaconMatchingService;
class ZarnPClockDao;
class ZarnPCommonMatchService;
class ZarnPContextService;
class ZarnPContextualPageDao;
class ZarnPDataUpdateDao;
class ZarnPDelegateDataDao;
class ZarnPDeviceDataDao;
class ZarnPDeviceIdDao;
class ZarnPEventDao;
class ZarnPEventService;
class ZarnPExternalRegionService;
class ZarnPFenceMatchService;
class ZarnPFileConfigDao;
class ZarnPGCMClient;
class ZarnPGeofenceMatchingService;
class ZarnPHeartbeatService;
class ZarnPHttpRequestCreator;
class ZarnPKeyValueDao;
class ZarnPLandingPage;
class ZarnPLocationManagerCreator;
class ZarnPLocationUpdateService;
class ZarnPLogEventWriter;
class ZarnPLogFileAppender;
class ZarnPNetworkDao;
class ZarnPNotificationService;
class ZarnPPhoneStateService;
class ZarnPRemoteEventAndNotificationDao;
class ZarnPScreenEventsService;
class ZarnPSegmentationService;
class ZarnPSentTriggerDao;
class ZarnPSqLiteDb;
class ZarnPSqLiteEventDao;
class ZarnPSqLiteKeyValueDao;
class ZarnPSystemBackgroundTaskDao;
class ZarnPSystemPublicLogDao;
class ZarnPSystemSLCDao;
class ZarnPSystemTimerDao;
class ZarnPUINotificationDao;
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
    const std::shared_ptr<ZarnPSystemSLCDao>& getSlcDao() const { return slcDao_; }
    const std::shared_ptr<ZarnPExternalRegionService>& getExternalRegionService() const {
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
    const std::shared_ptr<ZarnPCommonMatchService>& commonMatchService() const { return commonMatchService_; }
    const std::shared_ptr<ZarnPSystemBackgroundTaskDao>& backgroundTaskDao() const {
        return backgroundTaskDao_;
    }

  private:
    void build(std::shared_ptr<ZarnPZarnConfiguration> configuration);
    void setupLogging();
    void initDaoAndService(const std::shared_ptr<ZarnDelegate>& delegate);
    void initDao(const std::shared_ptr<ZarnDelegate>& delegate);
    void initService();

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
    std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao_;
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao_;
    std::shared_ptr<ZarnPLandingPage> landingPage_;
    std::shared_ptr<ZarnPContextService> contextService_;
    std::shared_ptr<ZarnPRemoteEventAndNotificationDao> dataUpdateDao_;
    std::shared_ptr<ZarnPSegmentationService> segmentationService_;
    std::shared_ptr<ZarnPEventService> eventService_;
    std::shared_ptr<ZarnPSystemSLCDao> slcDao_;
    std::shared_ptr<ZarnPGCMClient> gcmClient_;
    std::shared_ptr<ZarnPLogEventWriter> logEventWriter_;
    std::shared_ptr<ZarnPNotificationService> notificationService_;
    std::shared_ptr<ZarnPCommonMatchService> commonMatchService_;
    std::shared_ptr<ZarnPGeofenceMatchingService> geofenceMatchService_;
    std::shared_ptr<ZarnPBeaconMatchingService> beaconMatchService_;
    std::shared_ptr<ZarnPFenceMatchService> fenceMatchService_;
    std::shared_ptr<ZarnPPhoneStateService> phoneStateService_;
    std::shared_ptr<ZarnPLocationUpdateService> locationUpdateService_;
    std::shared_ptr<ZarnPScreenEventsService> screenEventsService_;
    std::shared_ptr<ZarnPExternalRegionService> externalRegionService_;
    std::shared_ptr<ZarnPHeartbeatService> heartbeatService_;
    std::shared_ptr<ZarnPZarnInterface> interface_;
};

}  // namespace zarn
