#pragma once
#include <memory>
#include <vector>

#include "entry/ZarnPPublicFacade.h"
#include "entry/ZarnPZarnInterface.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/RunLoop.h"

namespace zarn {

class ZarnPBatteryDao;
class ZarnPBeaconMatching;
class ZarnPClockDao;
class ZarnPCommonMatching;
class ZarnPContextService;
class ZarnPDataUpdateDao;
class ZarnPDebugLogMailer;
class ZarnPDelegateDataDao;
class ZarnPDeviceDataDao;
class ZarnPDeviceIdDao;
class ZarnPEventService;
class ZarnPExternalRegionTriggering;
class ZarnPFenceMatchService;
class ZarnPFileConfigDao;
class ZarnPGCMClient;
class ZarnPGCMMediator;
class ZarnPGeofenceMatching;
class ZarnPHeartbeatScheduling;
class ZarnPHttpDao;
class ZarnPHttpRequestCreator;
class ZarnPLandingPageShowing;
class ZarnPLocationManagerCreator;
class ZarnPLocationUpdateService;
class ZarnPLocationUpdating;
class ZarnPLogEventWriter;
class ZarnPLogFileAppender;
class ZarnPMatchRunDispatching;
class ZarnPModuleStores;
class ZarnPNetworkDao;
class ZarnPNotificationService;
class ZarnPPhoneStateReporting;
class ZarnPScreenEventTracking;
class ZarnPSegmentationService;
class ZarnPSignificantChangeMonitoring;
class ZarnPSqLiteDao;
class ZarnPSqLiteDataUpdateSaveOrchestrator;
class ZarnPSqLiteDb;
class ZarnPSyncDeadline;
class ZarnPSystemBackgroundTaskDao;
class ZarnPSystemFenceDao;
class ZarnPSystemLocationDao;
class ZarnPSystemPublicLogDao;
class ZarnPSystemSLCDao;
class ZarnPSystemTimerDao;
class ZarnPUINotificationDao;
class ZarnPUserNotificationCenterDelegate;
class ZarnPUuidGenerator;
class ZarnPZarnConfiguration;
class ZarnPZarnInterface;

// Builds every long-lived object of the library once, one layer at a time (stores, device
// wrappers, services, the entry), gives each its collaborators, links the delegate chains and
// holds them for the life of the process. The public entry reaches the library only through
// interface().
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
    // The module's own interface beside the facade: its database object and the two objects
    // only it holds for the whole process.
    const std::shared_ptr<ZarnPSqLiteDb>& db() const { return db_; }
    void setDb(std::shared_ptr<ZarnPSqLiteDb> db) { db_ = std::move(db); }
    const std::shared_ptr<ZarnPSignificantChangeMonitoring>& getSlcDao() const { return devices_.slcDao; }
    const std::shared_ptr<ZarnPExternalRegionTriggering>& getExternalRegionService() const {
        return services_.externalRegionService;
    }

  private:
    // The wrappers over the platform, the public log and the exchange with the service.
    struct DeviceWrappers {
        std::shared_ptr<ZarnPSystemBackgroundTaskDao> backgroundTaskDao;
        std::shared_ptr<ZarnPHttpDao> httpDao;
        std::shared_ptr<ZarnPDeviceIdDao> deviceIdDao;
        std::shared_ptr<ZarnPNetworkDao> networkDao;
        std::shared_ptr<ZarnPBatteryDao> batteryDao;
        std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao;
        std::shared_ptr<ZarnPFileConfigDao> fileConfigDao;
        std::shared_ptr<ZarnPUINotificationDao> uiNotificationDao;
        std::shared_ptr<ZarnPSystemLocationDao> locationDao;
        std::shared_ptr<ZarnPDelegateDataDao> delegateDataDao;
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao;
        // Kept only so that its stores, the first of their classes, are the ones that migrate.
        std::shared_ptr<ZarnPSqLiteDataUpdateSaveOrchestrator> dataUpdateSaveOrchestrator;
        std::vector<std::shared_ptr<ZarnPSqLiteDao>> dataUpdateDaos;
        std::shared_ptr<ZarnPSystemFenceDao> fenceDao;
        std::shared_ptr<ZarnPDataUpdateDao> dataUpdateDao;
        std::shared_ptr<ZarnPSystemSLCDao> systemSlcDao;
        std::shared_ptr<ZarnPSignificantChangeMonitoring> slcDao;  // the same, as the facade holds it
        std::shared_ptr<ZarnPGCMClient> gcmClient;
    };
    struct Services {
        std::shared_ptr<ZarnPContextService> contextService;
        std::shared_ptr<ZarnPLandingPageShowing> landingPage;
        std::shared_ptr<ZarnPSegmentationService> segmentationService;
        std::shared_ptr<ZarnPEventService> eventService;
        std::shared_ptr<ZarnPLogEventWriter> logEventWriter;
        std::shared_ptr<ZarnPNotificationService> notificationService;
        std::shared_ptr<ZarnPCommonMatching> commonMatchService;
        std::shared_ptr<ZarnPGeofenceMatching> geofenceMatchService;
        std::shared_ptr<ZarnPBeaconMatching> beaconMatchService;
        std::shared_ptr<ZarnPMatchRunDispatching> fenceMatchService;
        std::shared_ptr<ZarnPPhoneStateReporting> phoneStateService;
        std::shared_ptr<ZarnPLocationUpdating> locationUpdateService;
        std::shared_ptr<ZarnPScreenEventTracking> screenEventsService;
        std::shared_ptr<ZarnPExternalRegionTriggering> externalRegionService;
        std::shared_ptr<ZarnPHeartbeatScheduling> heartbeatService;
        std::shared_ptr<ZarnPDebugLogMailer> debugLogMailer;
        std::shared_ptr<ZarnPGCMMediator> gcmMediator;
    };

    void setupLogging();
    void buildGround(bool testing);
    // After the stores (ZarnPModuleStores), the layers in the order they are built
    // (ZarnPModuleDevices.cpp, ZarnPModuleServices.cpp, ZarnPModuleEntry.cpp).
    DeviceWrappers buildDeviceWrappers(const std::shared_ptr<ZarnDelegate>& delegate,
                                       std::shared_ptr<ZarnPDeviceDataDao> givenDeviceData,
                                       const std::shared_ptr<ZarnPContextService>& contextService) const;
    void buildSystemWrappers(DeviceWrappers& d, const std::shared_ptr<ZarnDelegate>& delegate) const;
    void buildExchange(DeviceWrappers& d, const std::shared_ptr<ZarnPContextService>& contextService) const;
    Services buildServices(std::shared_ptr<ZarnPContextService> contextService) const;
    void buildEventPipeline(Services& s) const;
    void buildMatching(Services& s) const;
    void buildRunsAndLinks(Services& s) const;
    std::shared_ptr<ZarnPExternalRegionTriggering> buildExternalRegionService(
        const Services& s, const std::shared_ptr<ZarnPLocationUpdateService>& locationUpdateService) const;
    void linkDelegates(const Services& s, const std::shared_ptr<ZarnPFenceMatchService>& fenceMatchService,
                       const std::shared_ptr<ZarnPLocationUpdateService>& locationUpdateService) const;
    // Every store has registered: the database opens on the SDK thread.
    void openDatabase();
    // The facade, each road given what it uses, then the notification-centre delegate.
    void buildEntry();
    ZarnPZarnInterface::Parts facadeParts() const;
    ZarnPEnablingRoad::Collaborators enablingRoad() const;
    ZarnPOperationsRoad::Collaborators operationsRoad() const;
    ZarnPContextualPageRoad::Collaborators contextualPageRoad() const;
    ZarnPConfigurationRoad::Collaborators configurationRoad() const;
    ZarnPOfferingRoad::Collaborators offeringRoad() const;
    ZarnPTapRoad::Collaborators tapRoad() const;

    // The installed platform, read once at the start of the build.
    platform::Services platform_;
    std::shared_ptr<ZarnPZarnConfiguration> configuration_;
    std::shared_ptr<ZarnPLogFileAppender> logFileAppender_;
    std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator_;
    std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator_;
    std::shared_ptr<ZarnPUuidGenerator> uuidGenerator_;
    std::shared_ptr<ZarnPSqLiteDb> db_;
    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    // Reads the whole database file once the start is over.
    std::shared_ptr<platform::Timer> wholeFileCheck_;
    // Syncs the commits of the Normal tier within a bound.
    std::shared_ptr<ZarnPSyncDeadline> syncDeadline_;
    std::unique_ptr<const ZarnPModuleStores> stores_;
    DeviceWrappers devices_;
    Services services_;
    std::shared_ptr<ZarnPZarnInterface> interface_;
    std::shared_ptr<ZarnPUserNotificationCenterDelegate> userNotificationCenterDelegate_;
    // The facade as the public log's enabled query reads it; filled once the facade exists.
    std::shared_ptr<std::weak_ptr<ZarnPZarnInterface>> facadeForLog_;
};

}  // namespace zarn
