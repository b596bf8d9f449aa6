#pragma once
#include "services/ZarnPGeofenceMatching.h"

namespace zarn {

// PLACEHOLDER until geofence matching is built: a match run matches nothing.
class ZarnPGeofenceMatchingService : public ZarnPGeofenceMatching {
  public:
    void checkForSentDwellingGeofences(const std::shared_ptr<ZarnPContext>&) override {}
    void checkForGeofenceMatches(const std::shared_ptr<ZarnPBackgroundTask>&,
                                 const std::shared_ptr<ZarnPContext>&,
                                 const std::shared_ptr<ZarnPLocationWithAccuracy>&) override {}
};

}  // namespace zarn
