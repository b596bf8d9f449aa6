#pragma once
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ZarnPCooldownGroup.h"
#include "core/ZarnPNotification.h"
#include "services/ZarnPDwellingEnding.h"
#include "services/ZarnPNotificationOffering.h"
#include "services/ZarnPNotificationWithDistance.h"
#include "zarn/Date.h"
#include "zarn/NotificationRequest.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;
class ZarnGeotrigger;

// What the three kinds of matching (geofence, beacon, external region) and the facade share:
// cooldowns, the regions to monitor, the road from matched notifications to the app and the
// final show. SDK thread only, apart from where a method says otherwise.
class ZarnPCommonMatching : public ZarnPNotificationOffering, public ZarnPDwellingEnding {
  public:
    // The global cooldown in seconds: the override when one is set, else the served period.
    virtual int getCooldownPeriod() = 0;
    // True while fewer than `period` seconds passed since the last match; never below 1 s.
    virtual bool isInCooldown(int period) = 0;
    virtual bool shouldAbortMatchRunBecauseOfCoolDown() = 0;
    // True when one of `groups`, read from the state of `regionType`, matched less than its
    // duration minus `subtractSeconds` ago.
    virtual bool isInCooldownGroup(const std::vector<ZarnPCooldownGroup>& groups, int regionType,
                                   int subtractSeconds) = 0;
    // True on devices whose geofences need a larger radius.
    virtual bool shouldIncreaseMatchRange() = 0;
    // Monitors the nearest geofences of `notifications` (nearest first).
    virtual void monitorNotifications(const std::vector<ZarnPNotificationWithDistance>& notifications) = 0;
    // Ends the dwelling of these notification identifiers in the state of `regionType` and
    // cancels their pending requests, once the ends are committed and synced: a dwelling still
    // stored when its time is up is reported sent. One that cannot be ended stays pending.
    virtual void cancelNotifications(const std::set<std::string>& identifiers, int regionType) = 0;
    // The stored dwelling notification `matchIdentifier` became sent at `date`.
    virtual void saveSentDwellingNotification(const std::string& matchIdentifier, Date date) = 0;
    // Builds one request per notification and sends them down the offer road. `backgroundTask`
    // is required.
    virtual void offerNotifications(const std::vector<ZarnPNotification>& notifications, int regionType,
                                    const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                    const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
    // Landing pages and app links are shown at once, geotriggers and the rest are offered to
    // the app through the delegate. An empty list releases the context.
    virtual void sendNotificationsToFilter(const std::vector<NotificationRequest>& requests,
                                           const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                           const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
    // Shows `notifications` (chosen from `allOffered`); any thread: the show runs on the SDK
    // thread and releases one reference on the context when done.
    virtual void showNotifications(const std::vector<NotificationRequest>& notifications,
                                   const std::vector<NotificationRequest>& allOffered,
                                   const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                   const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
    // Bookkeeping of what the app's filter and geotrigger handler hold.
    virtual void notificationIsOffered(const std::string& identifier) = 0;
    virtual void filteredNotificationsDealloc(const std::vector<NotificationRequest>& requests) = 0;
    virtual void filteredGeotriggerDealloc(
        const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) = 0;
};

}  // namespace zarn
