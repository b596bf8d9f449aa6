#pragma once
#include <memory>

#include "zarn/NotificationRequest.h"

namespace zarn {

class ZarnPContext;

// The facade as the notification-centre delegate hands it a tapped notification of the
// library's own. Any thread; returns at once.
class ZarnPNotificationResponseHandling {
  public:
    virtual ~ZarnPNotificationResponseHandling() = default;
    virtual void handleNotification(const NotificationResponse& response,
                                    std::shared_ptr<ZarnPContext> zarnContext) = 0;
};

}  // namespace zarn
