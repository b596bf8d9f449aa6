#pragma once
#include <memory>

#include "core/ZarnPCollaborator.h"
#include "entry/ZarnPConfigurationRoad.h"
#include "entry/ZarnPContextualPageRoad.h"
#include "entry/ZarnPEnablingRoad.h"
#include "entry/ZarnPFacadeHops.h"
#include "entry/ZarnPFacadeState.h"
#include "entry/ZarnPNotificationResponseHandling.h"
#include "entry/ZarnPOfferingRoad.h"
#include "entry/ZarnPOperationsRoad.h"
#include "entry/ZarnPPublicFacade.h"
#include "entry/ZarnPTapRoad.h"
#include "services/ZarnPMatchServiceOfferNotificationDelegate.h"

namespace zarn {

class ZarnPContext;
class ZarnPZarnConfiguration;

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
    // What the facade is built from: its hops, and each road's own collaborators, which the
    // builder gives road by road.
    struct Parts {
        ZarnPRequired<ZarnPSystemTimerDao> timerDao;                     // the hops to both threads
        ZarnPRequired<platform::NotificationCenter> notificationCenter;  // the broadcasts
        ZarnPEnablingRoad::Collaborators enabling;
        ZarnPOperationsRoad::Collaborators operations;
        ZarnPContextualPageRoad::Collaborators contextualPage;
        ZarnPConfigurationRoad::Collaborators configuration;
        ZarnPOfferingRoad::Collaborators offering;
        ZarnPTapRoad::Collaborators tap;
    };

    // The facade posts the first configuration step for `configuration` to the SDK thread (none:
    // it stays idle).
    static std::shared_ptr<ZarnPZarnInterface> create(Parts parts,
                                                      std::shared_ptr<ZarnPZarnConfiguration> configuration);
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

    // The enabled flag as it stands, without waiting (any thread).
    bool isEnabledWithoutWaiting() const;
    // Stops observing the default centre; the release does it too.
    void cleanUp();

  private:
    explicit ZarnPZarnInterface(Parts parts);
    void start(std::shared_ptr<ZarnPZarnConfiguration> configuration);

    // Built in this order; each road holds the state, the hops and the roads before it.
    ZarnPFacadeState state_;
    ZarnPFacadeHops hops_;
    ZarnPEnablingRoad enabling_;
    ZarnPOperationsRoad operations_;
    ZarnPContextualPageRoad contextualPage_;
    ZarnPConfigurationRoad configuration_;
    ZarnPOfferingRoad offering_;
    ZarnPTapRoad tap_;
};

}  // namespace zarn
