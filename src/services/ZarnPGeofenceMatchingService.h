#pragma once

namespace zarn {

// PLACEHOLDER until geofence matching is built: the facade and the module only hold it so far.
class ZarnPGeofenceMatchingService {
  public:
    virtual ~ZarnPGeofenceMatchingService() = default;
};

}  // namespace zarn
