#pragma once
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPNotification.h"
#include "store/ZarnPMatchStateDao.h"
#include "zarn/Date.h"
#include "zarn/Error.h"

namespace zarn {

// The geofence notifications' state as the services see it: the match state of geofences, the
// set of notifications whose region the user is inside, the stored notifications of every kind
// near a place, and the clearing of the service's data. SDK thread only; nothing here raises.
class ZarnPLocalNotificationDao : public virtual ZarnPMatchStateDao {
  public:
    ~ZarnPLocalNotificationDao() override = default;

    // Notification rows are written by the data-update save only: these answer nothing and
    // change nothing.
    virtual std::optional<Error> addNotifications(const std::vector<ZarnPNotification>& notifications) = 0;
    virtual std::optional<Error> replaceNotifications(
        const std::vector<ZarnPNotification>& notifications) = 0;
    virtual std::optional<Error> markNotificationOffered(const ZarnPNotification& notification,
                                                         bool value) = 0;
    virtual std::optional<Error> deleteNotifications(const std::vector<ZarnPNotification>& notifications) = 0;
    // Always nothing.
    virtual std::optional<std::vector<ZarnPNotification>> getAllNotificationsActiveOn(Date startDate,
                                                                                      Date endDate,
                                                                                      bool withoutOffered,
                                                                                      Error* error) = 0;

    // Records (entered) or forgets the user's being inside the notification's region. False,
    // doing nothing, when `error` already holds an error; otherwise true, a failure of the
    // statement that decides going into `error`.
    virtual bool markUserEntered(bool entered, const std::string& identifier, Error* error) = 0;
    virtual std::set<std::string> getUserEntered() = 0;
    // Forgets every entered notification not in `keep` and answers those, in row order.
    virtual std::vector<std::string> getAndPurgeUserEntered(const std::vector<std::string>& keep) = 0;

    // The nearest geofence, then beacon, then external notifications around `location`, offered
    // ones included. `error` is never set.
    virtual std::vector<ZarnPNotification> getAllWithError(Error* error,
                                                           const ZarnPLocationWithAccuracy& location) = 0;
    // Empties the geofence state, the shared history, the cooldown matches and the stored
    // notifications; every statement runs, the last failure is answered.
    virtual std::optional<Error> clearNotifications() = 0;
};

}  // namespace zarn
