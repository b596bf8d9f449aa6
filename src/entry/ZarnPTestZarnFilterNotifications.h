#pragma once
#include <chrono>
#include <optional>
#include <vector>

#include "core/ZarnPFirstAnswer.h"
#include "zarn/ZarnHooks.h"

namespace zarn {

// The stand-alone filter hook an app uses to check its filter: it keeps the first answer and
// wakes whoever waits for it. Any thread.
class ZarnPTestZarnFilterNotifications final : public ZarnFilterNotifications {
  public:
    explicit ZarnPTestZarnFilterNotifications(std::vector<NotificationRequest> notifications,
                                              std::chrono::milliseconds timeout = std::chrono::seconds(10));

    void showNotifications(const std::vector<NotificationRequest>& notifications) override;
    // The saved answer at once when there is one, else waits up to the timeout for it.
    std::optional<std::vector<NotificationRequest>> result();

  private:
    const std::chrono::milliseconds timeout_;
    ZarnPFirstAnswer<std::vector<NotificationRequest>> result_;
};

}  // namespace zarn
