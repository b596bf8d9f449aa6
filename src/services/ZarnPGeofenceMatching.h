#pragma once
#include <memory>

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;
class ZarnPLocationWithAccuracy;

// Geofence matching as the facade and the match-run dispatch hold it. SDK thread only.
class ZarnPGeofenceMatching {
  public:
    virtual ~ZarnPGeofenceMatching() = default;
    // Ends the dwelling of sent geofence notifications whose time is up.
    virtual void checkForSentDwellingGeofences(const std::shared_ptr<ZarnPContext>& context) = 0;
    // Matches the geofence notifications around the fix.
    virtual void checkForGeofenceMatches(const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                         const std::shared_ptr<ZarnPContext>& context,
                                         const std::shared_ptr<ZarnPLocationWithAccuracy>& location) = 0;
};

}  // namespace zarn
