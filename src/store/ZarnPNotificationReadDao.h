#pragma once
#include <optional>
#include <string>
#include <vector>

#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPNotification.h"
#include "zarn/Error.h"

namespace zarn {

// The campaigns stored near the device, one region kind at a time, as fresh notifications built
// from the store (nearest first, inside-first). A failing read answers an empty list; nothing
// here raises. SDK thread only.
class ZarnPNotificationReadDao {
  public:
    virtual ~ZarnPNotificationReadDao() = default;
    ZarnPNotificationReadDao(const ZarnPNotificationReadDao&) = delete;
    ZarnPNotificationReadDao& operator=(const ZarnPNotificationReadDao&) = delete;

    // The nearest notifications of one region kind. Offered ones are left out unless
    // `includeOffered`; the notifications of `includeIds` (short ids: campaign id, ";", region
    // id) are added after the nearest ones whatever their kind, state or distance.
    virtual std::vector<ZarnPNotification> findNearestGeofenceNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& includeIds) = 0;
    virtual std::vector<ZarnPNotification> findNearestBeaconNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& includeIds) = 0;
    virtual std::vector<ZarnPNotification> findNearestExternalNotifications(
        const ZarnPLocationWithAccuracy& location, bool includeOffered,
        const std::vector<std::string>& includeIds) = 0;

    // The notifications of the given short ids.
    virtual std::vector<ZarnPNotification> findByIds(const std::vector<std::string>& ids) = 0;
    // Marks the stored rows of the notifications (by their row ids) offered or not.
    virtual std::optional<Error> setOffered(const std::vector<ZarnPNotification>& notifications,
                                            bool value) = 0;
    // The single nearest notification, or nothing.
    virtual std::optional<ZarnPNotification> findNearestLocation(const ZarnPLocationWithAccuracy& location,
                                                                 bool includeOffered) = 0;

    // Forgets every cached answer, so that the next question reads the store: called when the
    // stored campaigns were cleared or replaced.
    virtual void invalidate() = 0;

  protected:
    ZarnPNotificationReadDao() = default;
};

}  // namespace zarn
