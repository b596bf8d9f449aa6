#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/Uuid.h"
#include "zarn/platform/BeaconProximity.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;

// What the region wrapper reports (to the match-run dispatch). SDK thread.
class ZarnPFenceDaoDelegate {
  public:
    virtual ~ZarnPFenceDaoDelegate() = default;
    // A geofence was entered or left; the region identifier, prefix included.
    virtual void fenceDaoDidEnterGeofence(const std::string& identifier) = 0;
    virtual void fenceDaoDidExitGeofence(const std::string& identifier) = 0;
    // A beacon region was left (or removed); its proximity UUID and a new context of type beacon.
    virtual void fenceDaoDidExitBeaconRegion(const Uuid& proximityUuid,
                                             const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
    // A ranging ended: the closest sighting of each beacon (possibly none), the region's UUID,
    // the ranging's background task (never null) and a context of type beacon.
    virtual void fenceDaoFinishRangingBeacons(const std::vector<platform::Beacon>& beacons,
                                              const Uuid& beaconUuid,
                                              const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                              const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
    // Declared for the dispatch; the region wrapper never calls it.
    virtual void fenceDaoFinishRanging(const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                       const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
};

}  // namespace zarn
