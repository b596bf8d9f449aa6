#pragma once
#include <optional>
#include <string>
#include <vector>

#include "device/system/ZarnPGeofence.h"

namespace zarn {

// Keeps the platform's region monitoring in step with what the matching wants watched. SDK
// thread.
class ZarnPFenceDao {
  public:
    virtual ~ZarnPFenceDao() = default;
    // Replaces both kinds at once (no caller uses it; the two below are used instead).
    virtual void replaceNotifications(
        const std::vector<ZarnPGeofence>& geofences,
        const std::optional<std::vector<std::string>>& beaconProximityIdentifiers) = 0;
    // The geofences to watch, nearest first: obsolete ones stop, missing ones start, within the
    // platform's limit of 20 monitored regions.
    virtual void monitorGeofenceNotifications(const std::vector<ZarnPGeofence>& geofences) = 0;
    // The beacon UUIDs (text, with or without dashes) whose regions to watch.
    virtual void replaceBeaconNotifications(const std::vector<std::string>& beaconUuids) = 0;
    // Stops every region of the library (reporting an exit for each beacon region).
    virtual void removeAllFences() = 0;
    // Makes the location manager, so that region callbacks arrive from now on.
    virtual void getReady() = 0;
    virtual bool isBeaconSupported() = 0;
    virtual bool isRegionExitSupported() = 0;
};

}  // namespace zarn
