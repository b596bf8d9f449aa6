#pragma once
#include <memory>
#include <vector>

#include "zarn/NotificationRequest.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;

// What one show pass carries to the SDK thread: the requests to show, all that were offered
// with them, the requests already pending at the centre and the authorisation answer.
struct ZarnPShowNotificationsRequest {
    std::vector<NotificationRequest> localNotifications;
    std::vector<NotificationRequest> allOffered;
    std::vector<NotificationRequest> scheduledRequests;
    std::shared_ptr<ZarnPContext> zarnContext;
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask;
    bool isRegisteredForNotifications = false;
};

}  // namespace zarn
