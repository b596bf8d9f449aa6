#pragma once

namespace zarn {

// Local notifications as the library uses them. SDK thread.
class ZarnPUINotificationDao {
  public:
    virtual ~ZarnPUINotificationDao() = default;
    virtual bool automaticallyAskNotificationPermission() const = 0;
    virtual void setAutomaticallyAskNotificationPermission(bool v) = 0;
    virtual bool provisionalNotificationPermission() const = 0;
    virtual void setProvisionalNotificationPermission(bool v) = 0;
    // Removes every scheduled local notification of the app.
    virtual void cancelAllNotifications() = 0;
    // Asks for the notification permission as configured.
    virtual void registerForNotifications() = 0;
};

}  // namespace zarn
