#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/Date.h"
#include "zarn/Error.h"
#include "zarn/NotificationRequest.h"

namespace zarn {

class ZarnPSentTrigger;

// The sent notifications and geotriggers, as the matching, the facade and the opening of a
// tapped notification use them. A dwelling notification is kept without a sent date until its
// time has passed; such rows are invisible to the reads. Nothing here raises. SDK thread only.
class ZarnPSentTriggerDao {
  public:
    virtual ~ZarnPSentTriggerDao() = default;

    // Records a scheduled request from its userInfo: a geotrigger in the geotrigger table, any
    // other in the notification table; `now` nothing for a dwelling notification still waiting.
    // Failures are logged.
    virtual void saveSentTrigger(const NotificationRequest& request, std::optional<Date> now) = 0;
    // The waiting dwelling notification becomes sent at `now`.
    virtual std::optional<Error> saveDwellingTrigger(const std::string& matchIdentifier, Date now) = 0;
    virtual std::optional<Error> markNotificationOpened(const std::string& matchIdentifier, Date now) = 0;
    virtual std::optional<Error> markGeotriggerHandled(const std::string& matchIdentifier, Date now) = 0;
    // The sent notification of the match, or null (also while it waits for its dwelling time).
    virtual std::shared_ptr<ZarnPSentTrigger> sentNotification(const std::string& matchIdentifier) = 0;
    virtual std::vector<std::shared_ptr<ZarnPSentTrigger>> sentNotifications() = 0;
    virtual std::vector<std::shared_ptr<ZarnPSentTrigger>> sentGeotriggers() = 0;
    // Remove the sent rows; waiting dwelling notifications stay. Failures are logged.
    virtual void clearSentNotifications() = 0;
    virtual void clearSentGeotriggers() = 0;
    // Removes the waiting (undated) notifications with these short ids: their dwelling was
    // cancelled, so they can never become sent.
    virtual std::optional<Error> deleteUnsentTriggers(const std::vector<std::string>& identifiers) = 0;
};

}  // namespace zarn
