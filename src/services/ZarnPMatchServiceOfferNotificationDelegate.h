#pragma once
#include <memory>
#include <vector>

#include "zarn/NotificationRequest.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;
class ZarnPSentTrigger;

// How the common matching offers what matched to the facade (SDK thread).
class ZarnPMatchServiceOfferNotificationDelegate {
  public:
    virtual ~ZarnPMatchServiceOfferNotificationDelegate() = default;
    virtual void offerLocalNotifications(const std::vector<NotificationRequest>& notifications,
                                         std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                         std::shared_ptr<ZarnPContext> zarnContext) = 0;
    virtual void offerGeotriggers(const std::vector<NotificationRequest>& geotriggers,
                                  std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                  std::shared_ptr<ZarnPContext> zarnContext) = 0;
    virtual void notificationSentEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) = 0;
    virtual void notificationOpenedEvent(std::shared_ptr<ZarnPSentTrigger> sentTrigger) = 0;
};

}  // namespace zarn
