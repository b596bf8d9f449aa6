#pragma once
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPNotification.h"
#include "zarn/Date.h"

namespace zarn {

class ZarnPClockDao;

// The last nearest-notification answer of each region kind (0 geofences, 1 beacons, 2 external
// regions), reused for 10 seconds so that a region event and the fix that follows it read the
// store once. Any other kind has no slot: it is never cached and reads nothing. SDK thread only.
class ZarnPNearestCacheHolder {
  public:
    static constexpr double kMaxAgeSeconds = 10.0;
    static constexpr double kMaxAccuracyMeters = 200.0;

    // The clock dates the saves and judges their age; required.
    explicit ZarnPNearestCacheHolder(std::shared_ptr<ZarnPClockDao> clockDao);

    // True unless the kind's slot holds a non-empty list saved no more than 10 s from now (either
    // way) with a location of accuracy not above 200 m.
    bool shouldRetrieveNearestFromDb(int regionType);
    void saveNotificationsToCache(int regionType, std::vector<ZarnPNotification> notifications,
                                  const ZarnPLocationWithAccuracy& locationWithAccuracy);
    // Copies of the cached list (empty for an empty slot); nothing for a kind without a slot.
    std::optional<std::vector<ZarnPNotification>> retrieveCachedNotifications(int regionType) const;
    std::optional<Date> retrieveCachedTimestamp(int regionType) const;
    std::optional<ZarnPLocationWithAccuracy> retrieveCachedLocation(int regionType) const;
    // Empties every slot: the next question of each kind reads the store. For changes of the
    // stored campaigns (a saved data update, cleared data).
    void invalidate();

  private:
    struct Slot {
        std::optional<std::vector<ZarnPNotification>> notifications;
        std::optional<Date> timestamp;
        std::optional<ZarnPLocationWithAccuracy> location;
    };
    Slot* slot(int regionType);
    const Slot* slot(int regionType) const;

    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::array<Slot, 3> slots_;
};

}  // namespace zarn
