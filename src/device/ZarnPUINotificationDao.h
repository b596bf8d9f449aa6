#pragma once

namespace zarn {

// Local notifications as the library uses them. Only the permission switches exist so far.
class ZarnPUINotificationDao {
  public:
    virtual ~ZarnPUINotificationDao() = default;
    virtual bool automaticallyAskNotificationPermission() const = 0;
    virtual void setAutomaticallyAskNotificationPermission(bool v) = 0;
    virtual bool provisionalNotificationPermission() const = 0;
    virtual void setProvisionalNotificationPermission(bool v) = 0;
};

}  // namespace zarn
