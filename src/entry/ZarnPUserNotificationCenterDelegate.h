#pragma once
#include <functional>
#include <memory>

#include "zarn/platform/LocalNotificationCenter.h"

namespace zarn {

class ZarnPContextService;
class ZarnPNotificationResponseHandling;

// Stands in front of whatever delegate the notification centre had: the library's own
// notifications go to the facade, everything else to that earlier delegate (the fallback), and
// only to the operations it takes part in. Main thread, as the centre calls it.
class ZarnPUserNotificationCenterDelegate final
    : public platform::LocalNotificationCenterDelegate,
      public std::enable_shared_from_this<ZarnPUserNotificationCenterDelegate> {
  public:
    // initWithInterface:userNotificationCenter:contextService: then registerDelegate. All three
    // are required; the facade is held weakly (it lives as long as the module).
    static std::shared_ptr<ZarnPUserNotificationCenterDelegate> create(
        std::weak_ptr<ZarnPNotificationResponseHandling> interface,
        std::shared_ptr<platform::LocalNotificationCenter> userNotificationCenter,
        std::shared_ptr<ZarnPContextService> contextService);
    // Puts the fallback back when nothing replaced this delegate in the meantime.
    ~ZarnPUserNotificationCenterDelegate() override;

    // The centre's current delegate becomes the fallback; this object becomes the delegate.
    void registerDelegate();
    // A notification is the library's own when its userInfo has "notificationHandlerType".
    static bool isZarnNotification(const Notification& notification);

    // Own notifications: alert and sound. Others: the fallback's answer, else no options.
    void willPresentNotification(const Notification& notification,
                                 std::function<void(unsigned options)> completion) override;
    // Own notifications: a foreground context and the facade; completion at once. Others: the
    // fallback with the completion, else the completion at once.
    void didReceiveNotificationResponse(const NotificationResponse& response,
                                        std::function<void()> completion) override;

    const std::shared_ptr<platform::LocalNotificationCenterDelegate>& fallback() const { return fallback_; }

  private:
    ZarnPUserNotificationCenterDelegate(
        std::weak_ptr<ZarnPNotificationResponseHandling> interface,
        std::shared_ptr<platform::LocalNotificationCenter> userNotificationCenter,
        std::shared_ptr<ZarnPContextService> contextService);

    const std::weak_ptr<ZarnPNotificationResponseHandling> interface_;
    const std::shared_ptr<platform::LocalNotificationCenter> userNotificationCenter_;
    const std::shared_ptr<ZarnPContextService> contextService_;
    std::shared_ptr<platform::LocalNotificationCenterDelegate> fallback_;
};

}  // namespace zarn
