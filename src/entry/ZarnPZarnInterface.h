#pragma once
#include <atomic>
#include <condition_variable>
#include <memory>

#include "entry/ZarnPApplyConfigData.h"
#include "entry/ZarnPNotificationResponseHandling.h"
#include "entry/ZarnPPublicFacade.h"
#include "platform/Mutex.h"
#include "services/ZarnPMatchServiceOfferNotificationDelegate.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/RunLoop.h"

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
class ZarnPApplink;
class ZarnPObjectWithContextWrapper;
namespace platform {
class Application;
class Bundle;
class LocalNotificationCenter;
class UrlOpener;
}  // namespace platform

// The facade behind the public entry. Public operations may be called from any thread and only
// post their work: library state changes on the SDK thread, calls into the app go to the main
// thread, and no hop here waits. It keeps the enabled and initialised flags, follows the app's
// foreground and background, runs the 60-second update timer while the app is active, and posts
// the library's broadcasts on the default notification centre.
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

    // Offering to the app's filter and geotrigger handler. The main-thread steps build the hook
    // and call the delegate; the answers come back as broadcasts from any thread and are moved
    // to the SDK thread.
    void offerNotificationOnMainThread(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper);
    void offerGeotriggerOnMainThread(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper);
    void sendNotificationsInRunloop(const std::vector<NotificationRequest>& notifications,
                                    std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                    std::shared_ptr<ZarnPContext> zarnContext);
    void showFilteredNotifications(const platform::Broadcast& broadcast);
    void filteredNotificationDealloc(const platform::Broadcast& broadcast);
    void showHandledGeotriggers(const platform::Broadcast& broadcast);
    void handledGeotriggerDealloc(const platform::Broadcast& broadcast);
    void showFilteredNotificationsInRunloop(const platform::Broadcast::UserInfo& userInfo);
    void filteredNotificationDeallocInRunloop(const std::vector<NotificationRequest>& offered);
    void showHandledGeotriggersInRunloop(const platform::Broadcast::UserInfo& userInfo);
    void filteredGeotriggerDeallocInRunloop(const std::vector<std::shared_ptr<ZarnGeotrigger>>& offered);
    void notificationSentEventOnMainThread(std::shared_ptr<ZarnSentNotification> sentNotification);

    // ZarnPNotificationResponseHandling: a tapped notification of the library's own (any thread).
    void handleNotification(const NotificationResponse& response,
                            std::shared_ptr<ZarnPContext> zarnContext) override;
    // The tap road on the SDK thread.
    void handleNotificationInRunLoop(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper);
    void handleNotificationLandingPage(const NotificationResponse& response,
                                       std::shared_ptr<ZarnPContext> zarnContext);
    void handleNotificationApplink(const NotificationResponse& response,
                                   std::shared_ptr<ZarnPContext> zarnContext);
    void handleNotificationExternally(const NotificationResponse& response,
                                      std::shared_ptr<ZarnPContext> zarnContext);
    void handleNotificationInternally(const NotificationResponse& response,
                                      std::shared_ptr<ZarnPContext> zarnContext);
    void openedNotification(const NotificationRequest& request, std::shared_ptr<ZarnPContext> zarnContext);
    // Main-thread steps of the tap road.
    void showLandingPage(const std::string& action);
    void showApplink(std::shared_ptr<ZarnPApplink> applink);
    void handleNotificationExternallyByCallingCallback(const NotificationResponse& response);
    void openUrl(const std::string& url);
    void notificationOpenedEventOnMainThread(std::shared_ptr<ZarnSentNotification> sentNotification);

    // Configuration steps (SDK thread, but the delegate callback on the main thread).
    void callDelegateForConfig(ZarnPApplyConfigData data);
    void callDelegateForConfigOnMainThread(ZarnPApplyConfigData data);
    void applyConfig(ZarnPApplyConfigData data);
    void setPublicToken(const std::string& token);
    void setMaxRegionsMonitored(int maxRegions, bool backgroundLocationEnabled);
    void enableIfEnabled(bool enableOnFirstRun);
    void informInitializationComplete();

    // Enabling, app state and the update timer.
    void enableInRunLoop(std::shared_ptr<ZarnPContext> context);
    void enableInMainThread(std::shared_ptr<ZarnPContext> context);
    void disableInRunLoop(std::shared_ptr<ZarnPContext> context);
    void setCooldownPeriodInRunloop(int seconds);
    void onWillResignActive();
    void onWillResignActiveInRunloop();
    // From the platform (no context) or from enableInMainThread (its context).
    void onDidBecomeActiveNotification(std::shared_ptr<ZarnPContext> context);
    void onDidBecomeActiveNotificationInRunloop(std::shared_ptr<ZarnPContext> context);
    void startUpdateTimer(std::shared_ptr<ZarnPContext> context);
    void stopUpdateTimer();
    void updateInRunLoop(std::shared_ptr<ZarnPContext> context);
    void update(std::shared_ptr<ZarnPContext> context);

    bool isZarnApp();
    void cleanUp();

    // The remaining operations' SDK-thread steps.
    static constexpr double kContextualPageMaxAgeSeconds = 60.0;
    static constexpr double kContextualPageTimeoutSeconds = 2.0;
    void setValueForPropertyInRunLoop(const std::string& value, const std::string& key);
    std::vector<NotificationRequest> loadedNotificationsOnRunLoop();
    std::vector<std::shared_ptr<ZarnGeotrigger>> loadedGeotriggersOnRunLoop();
    std::vector<std::shared_ptr<ZarnSentNotification>> sentNotificationsOnRunLoop();
    std::vector<std::shared_ptr<ZarnSentGeotrigger>> sentGeotriggersOnRunLoop();
    void requestContextualPageOnRunLoop(std::function<void(std::optional<Value>)> callback);
    void refreshContextualPage(std::function<void(std::optional<Value>)> callback);
    void sendAttributionEventInRunloop(const Value& extra);
    void clearAllDataAndResetDeviceIdOnRunLoop(std::shared_ptr<ZarnPContext> context);

    std::shared_ptr<ZarnDelegate> zarnDelegate();
    bool isInitialized() const { return isInitialized_.load(); }
    // The enabled flag as it stands, without waiting for the first configuration.
    bool isEnabledWithoutWaiting() const { return enabled_.load(); }
    bool hasUpdateTimer() const;
    bool isDebugEnabled() const { return isDebugEnabled_; }
    bool apnsSandbox() const { return apnsSandbox_; }
    bool fileConfigEnabled() const { return fileConfigEnabled_; }

    // What the facade was built with.
    const Collaborators& collaborators() const { return c_; }

  private:
    explicit ZarnPZarnInterface(Collaborators c);
    void start();
    void setInitialized();
    void post(const std::string& name);
    std::weak_ptr<ZarnPZarnInterface> weakSelf() { return weak_from_this(); }
    template <typename F>
    void onRunLoop(F f);
    template <typename F>
    void onMainThread(F f);
    bool isInitializedAndEnabled() const;
    // Runs the step on the SDK thread and waits for its answer; empty unless initialised and enabled.
    template <typename R>
    R onRunLoopWaiting(R (ZarnPZarnInterface::*step)());

    Collaborators c_;
    mutable Mutex mutex_;
    std::shared_ptr<ZarnDelegate> delegate_ ZARN_GUARDED_BY(mutex_);
    std::condition_variable initializedCv_;  // with mutex_: isInitialized_ became true
    std::atomic<bool> enabled_{false};
    std::atomic<bool> isInitialized_{false};
    bool isDebugEnabled_ = false;
    bool fileConfigEnabled_ = false;
    bool apnsSandbox_ = false;
    std::atomic<bool> quickSyncDisabled_{false};
    std::atomic<bool> enableBackgroundLocation_{true};
    std::shared_ptr<platform::Timer> updateTimer_;  // SDK thread only
};

}  // namespace zarn
