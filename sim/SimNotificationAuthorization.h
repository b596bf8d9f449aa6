#pragma once
#include <functional>
#include <memory>
#include <mutex>

#include "sim/World.h"
#include "zarn/platform/NotificationAuthorization.h"

namespace zarn::sim {

// The user's notification settings. Answers on the world's main run loop, after the call
// returns; counts the requests. Any thread.
class SimNotificationAuthorization : public platform::NotificationAuthorization {
  public:
    explicit SimNotificationAuthorization(std::shared_ptr<World> world);

    void getNotificationSettings(
        std::function<void(platform::NotificationAuthorizationStatus)> completion) override;
    void setNotificationAuthorizationStatus(platform::NotificationAuthorizationStatus status);
    int notificationSettingsRequests();

  private:
    const std::shared_ptr<World> world_;
    std::mutex mutex_;
    platform::NotificationAuthorizationStatus status_ = platform::NotificationAuthorizationStatus::Authorized;
    int requests_ = 0;
};

}  // namespace zarn::sim
