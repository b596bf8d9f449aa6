#pragma once
#include <memory>
#include <vector>

#include "core/ZarnPCollaborator.h"
#include "zarn/NotificationRequest.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {

class ZarnGeotrigger;
class ZarnPBackgroundTask;
class ZarnPCommonMatching;
class ZarnPContext;
class ZarnPFacadeHops;
class ZarnPFacadeState;
class ZarnPMatchServiceOfferNotificationDelegate;
class ZarnPObjectWithContextWrapper;
class ZarnPSentTrigger;
class ZarnPSystemPublicLogDao;
class ZarnPUINotificationDao;
class ZarnSentNotification;

// The facade's offering road: what the common matching offers (SDK thread) goes to the app's
// filter or geotrigger handler as a hook on the main thread, or, without one, straight back to
// be shown. The hooks' answers and releases come back as broadcasts from any thread and are
// moved to the SDK thread. A shown notification is reported to the app on the main thread.
class ZarnPOfferingRoad {
  public:
    struct Collaborators {
        ZarnPRequired<ZarnPCommonMatching> commonMatchService;
        ZarnPRequired<ZarnPSystemPublicLogDao> publicLogDao;
        ZarnPRequired<ZarnPUINotificationDao> uiNotificationDao;
        ZarnPRequired<platform::NotificationCenter> notificationCenter;  // the hooks post on it
    };

    ZarnPOfferingRoad(Collaborators c, const ZarnPFacadeState& state, const ZarnPFacadeHops& hops);

    // The common matching offers to `facade` from now on, and the hooks' answers are heard until
    // stopObserving().
    void startOffering(std::weak_ptr<ZarnPMatchServiceOfferNotificationDelegate> facade);
    void stopObserving();

    void offerLocalNotifications(const std::vector<NotificationRequest>& notifications,
                                 std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                 std::shared_ptr<ZarnPContext> zarnContext);
    void offerGeotriggers(const std::vector<NotificationRequest>& geotriggers,
                          std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                          std::shared_ptr<ZarnPContext> zarnContext);
    void notificationSentEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger);

  private:
    void offerNotificationOnMainThread(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper);
    void offerGeotriggerOnMainThread(std::shared_ptr<ZarnPObjectWithContextWrapper> wrapper);
    void sendNotificationsInRunLoop(const std::vector<NotificationRequest>& notifications,
                                    std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                    std::shared_ptr<ZarnPContext> zarnContext);
    void showFilteredNotifications(const platform::Broadcast& broadcast);
    void filteredNotificationDealloc(const platform::Broadcast& broadcast);
    void showHandledGeotriggers(const platform::Broadcast& broadcast);
    void handledGeotriggerDealloc(const platform::Broadcast& broadcast);
    void showFilteredNotificationsInRunLoop(const platform::Broadcast::UserInfo& userInfo);
    void filteredNotificationDeallocInRunLoop(const std::vector<NotificationRequest>& offered);
    void showHandledGeotriggersInRunLoop(const platform::Broadcast::UserInfo& userInfo);
    void filteredGeotriggerDeallocInRunLoop(const std::vector<std::shared_ptr<ZarnGeotrigger>>& offered);
    void notificationSentEventOnMainThread(std::shared_ptr<ZarnSentNotification> sentNotification);

    Collaborators c_;
    const ZarnPFacadeState& state_;
    const ZarnPFacadeHops& hops_;
};

}  // namespace zarn
