#pragma once
#include <memory>

namespace zarn {

class ZarnPContext;

// The location update service as the notification service reports to it. SDK thread.
class ZarnPNotificationServiceDelegate {
  public:
    virtual ~ZarnPNotificationServiceDelegate() = default;
    // The data-update step of the run of `zarnContext` is over (fetched, skipped or failed).
    virtual void locationNotificationServiceUpdatedNotifications(
        const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
    // A pushed data update was saved.
    virtual void notificationServiceReceivedPushForLocation(
        const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
};

}  // namespace zarn
