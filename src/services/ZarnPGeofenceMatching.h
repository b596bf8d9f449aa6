#pragma once

namespace zarn {

// Geofence matching as the facade and the match-run dispatch hold it. It declares the operations its callers
// use as they arrive; SDK thread only.
class ZarnPGeofenceMatching {
  public:
    virtual ~ZarnPGeofenceMatching() = default;
};

}  // namespace zarn
