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
    result_.give([&] { return ZarnPValueDepth::acceptedRequests(notifications, "ZarnInterface"); });
}

std::optional<std::vector<NotificationRequest>> ZarnPTestZarnFilterNotifications::result() {
    return result_.waitFor(timeout_);
}

}  // namespace zarn
