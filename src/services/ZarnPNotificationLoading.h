#pragma once

namespace zarn {

// The notification service (data-update timing, loaded notifications) as the facade and the
// segmentation service hold it. SDK thread only.
class ZarnPNotificationLoading {
  public:
    virtual ~ZarnPNotificationLoading() = default;
    // Empties the loaded local and beacon notifications (until the next data update).
    virtual void deleteNotifications() = 0;
    // Clears the loaded notifications, the force flag, the request dates and the device id.
    virtual void clearData() = 0;
};

}  // namespace zarn
