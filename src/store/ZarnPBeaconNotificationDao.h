#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/Uuid.h"
#include "core/ZarnPBeaconNotification.h"
#include "store/ZarnPMatchStateDao.h"
#include "zarn/Error.h"
#include "zarn/platform/BeaconProximity.h"

namespace zarn {

// The beacon notifications' state: the match state of beacons and which beacon notifications
// the user is inside, under which beacon UUID. SDK thread only; nothing here raises.
class ZarnPBeaconNotificationDao : public virtual ZarnPMatchStateDao {
  public:
    ~ZarnPBeaconNotificationDao() override = default;

    // The stored beacon notifications with their time spans and cooldown groups (the service
    // stores none: its beacon regions come with the notification table).
    virtual std::optional<Error> addNotifications(
        const std::vector<ZarnPBeaconNotification>& notifications) = 0;
    // The stored beacon notifications become exactly `notifications`, all or nothing.
    virtual std::optional<Error> replaceNotifications(
        const std::vector<ZarnPBeaconNotification>& notifications) = 0;
    virtual std::optional<Error> markNotificationOffered(const ZarnPBeaconNotification& notification,
                                                         bool value) = 0;
    virtual std::optional<Error> deleteNotifications(
        const std::vector<ZarnPBeaconNotification>& notifications) = 0;

    // Forgets the entry of the notification under the UUID, then records it anew when `entered`.
    // False, doing nothing, when `error` already holds an error; otherwise true, the failure of
    // the last statement going into `error`.
    virtual bool markUserEntered(bool entered, const std::string& identifier, const Uuid& beaconUuid,
                                 Error* error) = 0;
    // The notifications entered under any of the UUIDs.
    virtual std::set<std::string> getEnteredIdsForBeaconUuids(const std::vector<Uuid>& beaconUuids) = 0;
    // The same, entered less than 5000 seconds ago.
    virtual std::set<std::string> getJustEnteredNotificationsForBeaconUuids(
        const std::vector<Uuid>& beaconUuids) = 0;
    // Unchecked: an identifier already entered keeps its row.
    virtual void removeEnteredIds(const std::vector<std::string>& identifiers) = 0;
    virtual void saveEntered(const std::map<std::string, platform::Beacon>& entered) = 0;
    // Empties every beacon table.
    virtual std::optional<Error> clearNotifications() = 0;
    // The stored beacon notifications; an error and nothing when the read fails.
    virtual std::vector<ZarnPBeaconNotification> getAllWithError(Error* error) = 0;
};

}  // namespace zarn
