#pragma once
#include "device/ZarnPUINotificationDao.h"

namespace zarn {

// PLACEHOLDER until local notifications are built: keeps the two permission switches; cancelling
// and registering do nothing.
class ZarnPSystemUINotificationDao : public ZarnPUINotificationDao {
  public:
    bool automaticallyAskNotificationPermission() const override { return automaticallyAsk_; }
    void setAutomaticallyAskNotificationPermission(bool v) override { automaticallyAsk_ = v; }
    bool provisionalNotificationPermission() const override { return provisional_; }
    void setProvisionalNotificationPermission(bool v) override { provisional_ = v; }
    void cancelAllNotifications() override {}
    void registerForNotifications() override {}

  private:
    bool automaticallyAsk_ = true;
    bool provisional_ = false;
};

}  // namespace zarn
