#pragma once
#include <memory>
#include <optional>
#include <vector>

namespace zarn {

class ZarnPContext;
class ZarnPLocationWithAccuracy;
class ZarnPNotification;
class ZarnPNotificationServiceDelegate;

// The notification service (data-update timing, loaded notifications) as the facade, the
// segmentation service and the location update service hold it. SDK thread only.
class ZarnPNotificationLoading {
  public:
    virtual ~ZarnPNotificationLoading() = default;
    // Stores the events and, when one is due, fetches a data update for the location; the end
    // of the step reaches the delegate's locationNotificationServiceUpdatedNotifications.
    virtual void storeEventsAndUpdateNotificationsForLocation(
        const std::shared_ptr<ZarnPLocationWithAccuracy>& location, bool inForeground,
        bool supportsRegionExit, bool supportsBeacon, const std::shared_ptr<ZarnPContext>& context) = 0;
    // The loaded local notifications, in their order; nothing on a store error. A service that
    // loads none answers nothing.
    virtual std::optional<std::vector<std::shared_ptr<ZarnPNotification>>> getLoadedNotifications() {
        return std::nullopt;
    }
    // Empties the loaded local and beacon notifications (until the next data update).
    virtual void deleteNotifications() = 0;
    // Clears the loaded notifications, the force flag, the request dates and the device id.
    virtual void clearData() = 0;
    // Held weakly: the delegate (the location update service) holds this service.
    virtual void setDelegate(std::weak_ptr<ZarnPNotificationServiceDelegate> delegate) = 0;
};

}  // namespace zarn
