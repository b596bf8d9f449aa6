#pragma once
#include <memory>

namespace zarn {

class ZarnPContext;
class ZarnPLocationWithAccuracy;
class ZarnPNotificationServiceDelegate;

// The notification service (data-update timing, loaded notifications) as the facade and the
// location update service hold it. It declares the operations its callers use as they arrive;
// SDK thread only.
class ZarnPNotificationLoading {
  public:
    virtual ~ZarnPNotificationLoading() = default;
    // Stores the events and, when one is due, fetches a data update for the location; the end
    // of the step reaches the delegate's locationNotificationServiceUpdatedNotifications.
    virtual void storeEventsAndUpdateNotificationsForLocation(
        std::shared_ptr<ZarnPLocationWithAccuracy> location, bool inForeground, bool supportsRegionExit,
        bool supportsBeacon, std::shared_ptr<ZarnPContext> context) = 0;
    // Forgets the update times and the last match location (all data cleared).
    virtual void clearData() = 0;
    // Held weakly: the delegate (the location update service) holds this service.
    virtual void setDelegate(std::weak_ptr<ZarnPNotificationServiceDelegate> delegate) = 0;
};

}  // namespace zarn
