#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "zarn/Error.h"

namespace zarn {

class ZarnPBeaconNotification;
class ZarnPLocationWithAccuracy;
class ZarnPNotification;

// A store of loaded notifications of one region kind, as the notification service reads, empties
// and clears it. The local (geofence) and beacon stores adopt it. SDK thread only; failures are
// returned, never raised.
class ZarnPLoadedNotificationStore {
  public:
    virtual ~ZarnPLoadedNotificationStore() = default;
    // Replaces the loaded notifications with none.
    virtual std::optional<Error> replaceNotificationsWithNone() = 0;
    // Clears the notifications with their state (all data cleared).
    virtual std::optional<Error> clearNotifications() = 0;
    // The local notifications nearest `location`; an empty list for a beacon store.
    virtual std::vector<std::shared_ptr<ZarnPNotification>> getAllNear(
        const ZarnPLocationWithAccuracy& location, Error* error) = 0;
    // Every beacon notification; an empty list for a local store.
    virtual std::vector<std::shared_ptr<ZarnPBeaconNotification>> getAllBeaconNotifications(Error* error) = 0;
};

}  // namespace zarn
