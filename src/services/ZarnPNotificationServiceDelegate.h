#pragma once
#include <memory>

namespace zarn {

class ZarnPContext;

// What the notification service reports back to the location update service. SDK thread.
class ZarnPNotificationServiceDelegate {
  public:
    virtual ~ZarnPNotificationServiceDelegate() = default;
    // The data-update step of the run of the context is over (done, failed or not needed).
    virtual void locationNotificationServiceUpdatedNotifications(
        const std::shared_ptr<ZarnPContext>& context) = 0;
    // A pushed data update was saved: its regions are to be matched against a fresh fix.
    virtual void notificationServiceReceivedPushForLocation(const std::shared_ptr<ZarnPContext>& context) = 0;
};

}  // namespace zarn
