#pragma once
#include <memory>
#include <set>
#include <vector>

#include "core/Uuid.h"
#include "zarn/platform/BeaconProximity.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;
class ZarnPLocationWithAccuracy;

// Beacon matching as the facade and the match-run dispatch hold it. SDK thread only; may raise,
// the dispatch catches.
class ZarnPBeaconMatching {
  public:
    virtual ~ZarnPBeaconMatching() = default;
    virtual void checkForSentDwellingBeacons(const std::shared_ptr<ZarnPContext>& context) = 0;
    virtual void checkForBeaconMatches(const std::vector<platform::Beacon>& rangedBeacons,
                                       bool isAppInForeground,
                                       const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                       const std::shared_ptr<ZarnPContext>& context,
                                       const std::shared_ptr<ZarnPLocationWithAccuracy>& location) = 0;
    virtual void checkForBeaconExited(const std::set<Uuid>& exitedBeaconUuids,
                                      const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                                      const std::shared_ptr<ZarnPContext>& context,
                                      const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask) = 0;
};

}  // namespace zarn
