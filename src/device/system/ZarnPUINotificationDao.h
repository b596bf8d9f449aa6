#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/NotificationRequest.h"
#include "zarn/ZarnValues.h"

namespace zarn {

class ZarnPNotification;
class ZarnPNotificationsEnabledCallback;
class ZarnPSentTrigger;

// Local notifications as the library uses them: the requests and public values built from a
// matched notification or a stored sent trigger (their userInfo is the library's one stored
// format of a shown notification), and the notification centre behind them. The builders run on
// the caller's thread (the SDK thread).
class ZarnPUINotificationDao {
  public:
    virtual ~ZarnPUINotificationDao() = default;

    // The request that shows the notification at once, under the match identifier ("unknown"
    // without one).
    virtual NotificationRequest createNotification(const ZarnPNotification& notification,
                                                   const std::optional<std::string>& matchIdentifier,
                                                   int regionType, std::optional<bool> isAppInForeground) = 0;
    virtual std::shared_ptr<ZarnSentNotification> createSentNotification(const ZarnPSentTrigger& trigger) = 0;
    // A geotrigger of a loaded notification: no match identifier.
    virtual std::shared_ptr<ZarnGeotrigger> createGeotriggerFromNotification(
        const ZarnPNotification& notification) = 0;
    virtual std::shared_ptr<ZarnGeotrigger> createGeotriggerFromTrigger(const ZarnPSentTrigger& trigger) = 0;
    virtual std::shared_ptr<ZarnSentGeotrigger> createSentGeotrigger(const ZarnPSentTrigger& trigger) = 0;

    // Schedules the request; a refusal is logged.
    virtual void send(const NotificationRequest& request) = 0;
    // Removes the library's pending requests of these notifications (short ids, or full ids of
    // an experiment's notifications); delivered ones and the app's stay.
    virtual void cancelNotifications(const std::vector<std::string>& identifiers) = 0;
    // Removes every pending request of the library; the app's stay.
    virtual void cancelAllNotifications() = 0;
    // The pending requests, the app's included, on the thread on which the centre answers.
    virtual void scheduledNotificationRequests(
        std::function<void(std::vector<NotificationRequest>)> block) = 0;
    // Asks the user for permission when the configuration lets the library ask.
    virtual void registerForNotifications() = 0;
    // Whether notifications are allowed; answered on the SDK thread.
    virtual void isRegisteredForNotifications(
        std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)> block) = 0;

    virtual bool automaticallyAskNotificationPermission() const = 0;
    virtual void setAutomaticallyAskNotificationPermission(bool v) = 0;
    virtual bool provisionalNotificationPermission() const = 0;
    virtual void setProvisionalNotificationPermission(bool v) = 0;
};

}  // namespace zarn
