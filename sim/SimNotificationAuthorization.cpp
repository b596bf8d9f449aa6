#include "sim/SimNotificationAuthorization.h"

#include "sim/Support.h"

namespace zarn::sim {

SimNotificationAuthorization::SimNotificationAuthorization(std::shared_ptr<World> world)
    : world_(std::move(world)) {
    ZARN_SIM_REQUIRE(world_);
}

void SimNotificationAuthorization::getNotificationSettings(
    std::function<void(platform::NotificationAuthorizationStatus)> completion) {
    platform::NotificationAuthorizationStatus status;
    {
        std::lock_guard lk(mutex_);
        ++requests_;
        status = status_;
    }
    if (!completion)
        return;
    world_->clock().post([completion = std::move(completion), status] { completion(status); });
}

void SimNotificationAuthorization::setNotificationAuthorizationStatus(
    platform::NotificationAuthorizationStatus status) {
    std::lock_guard lk(mutex_);
    status_ = status;
}

int SimNotificationAuthorization::notificationSettingsRequests() {
    std::lock_guard lk(mutex_);
    return requests_;
}

}  // namespace zarn::sim
