#include "entry/ZarnPTestZarnFilterNotifications.h"

#include "core/ZarnPValueDepth.h"

namespace zarn {

ZarnPTestZarnFilterNotifications::ZarnPTestZarnFilterNotifications(
    std::vector<NotificationRequest> notifications, std::chrono::milliseconds timeout)
    : timeout_(timeout) {
    uiNotifications_ = std::move(notifications);
}

void ZarnPTestZarnFilterNotifications::showNotifications(
    const std::vector<NotificationRequest>& notifications) {
    {
        std::lock_guard lk(mutex_);
        if (!result_)
            result_ = ZarnPValueDepth::acceptedRequests(notifications, "ZarnInterface");
    }
    answered_.notify_all();
}

std::optional<std::vector<NotificationRequest>> ZarnPTestZarnFilterNotifications::result() {
    std::unique_lock lk(mutex_);
    answered_.wait_for(lk, timeout_, [&] { return result_.has_value(); });
    return result_;
}

}  // namespace zarn
