#pragma once
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/ZarnPCooldownGroup.h"
#include "store/ZarnPLocalNotificationDaoExpiredNotification.h"
#include "zarn/Date.h"
#include "zarn/Error.h"

namespace zarn {

// What matching remembers per notification between two runs: has-to-leave-first marks, running
// dwelling periods, cooldown group matches and trigger history. There is one store per region
// kind (geofences, beacons, external regions) and their state never mixes; the common matching
// picks the store by the notification's region type. An identifier is the notification's short id
// as the matching passes it.
//
// Writes answer the error of the failing statement, or nothing on success; they never raise and
// log nothing. Reads that fail answer an empty set or list, NO or nothing. SDK thread only.
class ZarnPMatchStateDao {
  public:
    virtual ~ZarnPMatchStateDao() = default;
    ZarnPMatchStateDao(const ZarnPMatchStateDao&) = delete;
    ZarnPMatchStateDao& operator=(const ZarnPMatchStateDao&) = delete;

    // The notification may not fire again until the user has left its region. Marking twice
    // keeps one mark.
    virtual std::optional<Error> markUserHasToLeaveFirst(const std::string& identifier) = 0;
    // Makes the marks exactly `identifiers`, all or nothing; marks on both sides are not touched.
    virtual std::optional<Error> replaceUserHasToLeaveFirstSet(const std::set<std::string>& identifiers) = 0;
    virtual std::set<std::string> getUserHasToLeaveNotifications() = 0;

    // Starts (or restarts, replacing match identifier and end) the dwelling period.
    virtual std::optional<Error> markUserStartedDwelling(const std::string& identifier,
                                                         const std::string& matchIdentifier,
                                                         Date endDate) = 0;
    virtual std::optional<Error> removeUserDwelling(const std::string& identifier) = 0;
    // The dwelling periods that end strictly before `date`, the end date as send date, in row
    // order.
    virtual std::vector<ZarnPLocalNotificationDaoExpiredNotification> expiredDwellingNotifications(
        Date date) = 0;
    virtual std::set<std::string> dwellingNotifications() = 0;
    // Whether a dwelling period is recorded, whether or not its end has passed.
    virtual bool isUserDwellingIn(const std::string& identifier) = 0;

    // Records the current time as the last match of every group, all or nothing. The
    // notification identifier only names the match in the debug log.
    virtual std::optional<Error> updateCooldownLastMatch(
        const std::string& notificationIdentifier, const std::vector<ZarnPCooldownGroup>& cooldownGroups) = 0;
    // The group's last match, shared by every region kind; nothing when it never fired.
    virtual std::optional<Date> lastCooldownGroupMatch(const std::string& cooldownGroup) = 0;

    // Stamps the current time in the shared segmentation history for each segmentation id
    // recorded for the notification.
    virtual std::optional<Error> saveNotificationTrigger(const std::string& identifier) = 0;
    // The segmentation ids recorded for the notification, in row order.
    virtual std::vector<std::string> getSegmentationIds(const std::string& identifier) = 0;

  protected:
    ZarnPMatchStateDao() = default;
};

}  // namespace zarn
