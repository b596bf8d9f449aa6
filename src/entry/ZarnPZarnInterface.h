#pragma once
#include <memory>

#include "entry/ZarnPNotificationResponseHandling.h"
#include "entry/ZarnPPublicFacade.h"
#include "services/ZarnPMatchServiceOfferNotificationDelegate.h"

namespace zarn {

class ZarnPBeaconMatching;
class ZarnPClockDao;
class ZarnPContext;
class ZarnPContextService;
class ZarnPContextualPageDao;
class ZarnPDebugLogMailer;
class ZarnPDeviceIdDao;
class ZarnPEventService;
class ZarnPExternalRegionTriggering;
class ZarnPFileConfigDao;
class ZarnPGeofenceMatching;
class ZarnPHeartbeatScheduling;
class ZarnPKeyValueDao;
class ZarnPLandingPageShowing;
class ZarnPLocationUpdating;
class ZarnPMatchRunDispatching;
class ZarnPNotificationLoading;
class ZarnPCommonMatching;
class ZarnPPhoneStateReporting;
class ZarnPPushMessaging;
class ZarnPScreenEventTracking;
class ZarnPSegmentationSetting;
class ZarnPSentTriggerDao;
class ZarnPSignificantChangeMonitoring;
class ZarnPSqLiteDb;
class ZarnPSystemPublicLogDao;
class ZarnPSystemTimerDao;
class ZarnPUINotificationDao;
class ZarnPConfigurationRoad;
class ZarnPContextualPageRoad;
class ZarnPEnablingRoad;
class ZarnPFacadeHops;
class ZarnPFacadeState;
class ZarnPOfferingRoad;
class ZarnPOperationsRoad;
class ZarnPTapRoad;
class ZarnPZarnConfiguration;
namespace platform {
class Application;
class Bundle;
class LocalNotificationCenter;
class NotificationCenter;
class UrlOpener;
}  // namespace platform

// The facade behind the public entry. Public operations may be called from any thread and only
// post their work: library state changes on the SDK thread, calls into the app go to the main
// thread, and no hop waits but the lists' and the contextual page's. It composes one road per
// concern (configuration, enabling and app state, offering, the tap, the remaining operations
// and the contextual page), which share the enabled and initialised flags and the app's
// delegate, and forwards each operation to its road.
class ZarnPZarnInterface final : public ZarnPPublicFacade,
                                 public ZarnPMatchServiceOfferNotificationDelegate,
                                 public ZarnPNotificationResponseHandling,
                                 public std::enable_shared_from_this<ZarnPZarnInterface> {
  public:
    // Each held as the role its operations here need; the module fills it with designated
    // initialisers.
    struct Collaborators {
        std::shared_ptr<ZarnPEventService> eventService;
        std::shared_ptr<ZarnPKeyValueDao> keyValueDao;
        std::shared_ptr<ZarnPUINotificationDao> uiNotificationDao;
        std::shared_ptr<ZarnPContextualPageDao> contextualPageDao;
        std::shared_ptr<ZarnPSentTriggerDao> sentTriggerDao;
        std::shared_ptr<ZarnPSystemTimerDao> timerDao;
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao;
        std::shared_ptr<ZarnPMatchRunDispatching> matchService;
        std::shared_ptr<ZarnPNotificationLoading> notificationService;
        std::shared_ptr<ZarnPLocationUpdating> locationUpdateService;
        std::shared_ptr<ZarnPPhoneStateReporting> phoneStateService;
        std::shared_ptr<ZarnPHeartbeatScheduling> heartbeatService;
        std::shared_ptr<ZarnPSegmentationSetting> segmentationService;
        std::shared_ptr<ZarnPLandingPageShowing> landingPage;
        std::shared_ptr<ZarnPFileConfigDao> fileConfigDao;
        std::shared_ptr<ZarnPPushMessaging> gcmClient;
        std::shared_ptr<ZarnPSignificantChangeMonitoring> slcDao;
        std::shared_ptr<ZarnPContextService> contextService;
        std::shared_ptr<ZarnPClockDao> clockDao;
        std::shared_ptr<platform::Application> application;
        std::shared_ptr<platform::NotificationCenter> notificationCenter;
        std::shared_ptr<ZarnPZarnConfiguration> configuration;
        std::shared_ptr<ZarnPGeofenceMatching> geofenceMatchService;
        std::shared_ptr<ZarnPBeaconMatching> beaconMatchService;
        std::shared_ptr<ZarnPCommonMatching> commonMatchService;
        std::shared_ptr<ZarnPExternalRegionTriggering> externalRegionService;  // optional
        std::shared_ptr<ZarnPDeviceIdDao> deviceIdDao;
        std::shared_ptr<ZarnPScreenEventTracking> screenEventsService;
        std::shared_ptr<ZarnPSqLiteDb> db;
        std::shared_ptr<platform::Bundle> mainBundle;         // optional: its display name marks our own app
        std::shared_ptr<ZarnPDebugLogMailer> debugLogMailer;  // optional: without it no mail is sent
        // optional: without it a tapped notification's pending request stays scheduled
        std::shared_ptr<platform::LocalNotificationCenter> localNotificationCenter;
        std::shared_ptr<platform::UrlOpener> urlOpener;  // optional: without it no address opens
    };

    // Every collaborator but the external-region service is required. The facade then posts
    // the first configuration step to the SDK thread (start() does that; create() calls it).
    static std::shared_ptr<ZarnPZarnInterface> create(Collaborators collaborators);
    ~ZarnPZarnInterface() override;

    // ZarnPPublicFacade
    void reinit(std::shared_ptr<ZarnPZarnConfiguration> configuration) override;
    void enable() override;
    void disable() override;
    bool isEnabled() override;
    void setCooldownPeriod(int seconds) override;
    void setZarnDelegate(std::shared_ptr<ZarnDelegate> delegate) override;
    void mailDebugLog(std::shared_ptr<ViewController> parent) override;
    void setValue(std::optional<std::string> value, const std::string& property) override;
    void setAdvertisingIdentifier(std::optional<std::string> uuid, bool advertisingTrackingEnabled) override;
    std::vector<NotificationRequest> loadedNotifications() override;
    std::vector<std::shared_ptr<ZarnGeotrigger>> loadedGeotriggers() override;
    std::vector<std::shared_ptr<ZarnSentNotification>> sentNotifications() override;
    std::vector<std::shared_ptr<ZarnSentGeotrigger>> sentGeotriggers() override;
    void clearSentNotifications() override;
    void clearSentGeotriggers() override;
    void sendAttributionEvent(const std::string& actionName, const std::string& itemId) override;
    void requestContextualPage(std::function<void(std::optional<Value>)> callback) override;
    void externalRegionTrigger(const Value& properties, int triggerType, const Value& matchPayload) override;
    void didRegisterForRemoteNotificationsWithDeviceToken(const std::string& deviceToken) override;
    void didFailToRegisterForRemoteNotificationsWithError(const Error& error) override;
    void didReceiveRemoteNotification(const Value& userInfo,
                                      std::function<void(BackgroundFetchResult)> completion) override;
    void clearAllDataAndResetDeviceId() override;

    // ZarnPMatchServiceOfferNotificationDelegate
    void offerLocalNotifications(const std::vector<NotificationRequest>& notifications,
                                 std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                 std::shared_ptr<ZarnPContext> zarnContext) override;
    void offerGeotriggers(const std::vector<NotificationRequest>& geotriggers,
                          std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                          std::shared_ptr<ZarnPContext> zarnContext) override;
    void notificationSentEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) override;
    void notificationOpenedEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) override;

    // ZarnPNotificationResponseHandling: a tapped notification of the library's own (any thread).
    void handleNotification(const NotificationResponse& response,
                            std::shared_ptr<ZarnPContext> zarnContext) override;

    // The state as it stands, for checks: the flags without waiting, the launch's choices.
    bool isInitialized() const;
    bool isEnabledWithoutWaiting() const;
    bool hasUpdateTimer() const;
    bool isDebugEnabled() const;
    bool apnsSandbox() const;
    // What the facade was built with.
    const Collaborators& collaborators() const { return c_; }
    // Stops observing the default centre; the release does it too.
    void cleanUp();

  private:
    explicit ZarnPZarnInterface(Collaborators c);
    void buildRoads();
    void start();

    Collaborators c_;
    std::unique_ptr<ZarnPFacadeState> state_;
    std::unique_ptr<ZarnPFacadeHops> hops_;
    std::unique_ptr<ZarnPEnablingRoad> enabling_;
    std::unique_ptr<ZarnPOperationsRoad> operations_;
    std::unique_ptr<ZarnPContextualPageRoad> contextualPage_;
    std::unique_ptr<ZarnPConfigurationRoad> configuration_;
    std::unique_ptr<ZarnPOfferingRoad> offering_;
    std::unique_ptr<ZarnPTapRoad> tap_;
};

}  // namespace zarn
