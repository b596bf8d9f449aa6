#pragma once
#include "services/ZarnPGeofenceMatching.h"

namespace zarn {

// PLACEHOLDER until geofence matching is built: the facade and the module only hold it so far.
class ZarnPGeofenceMatchingService : public ZarnPGeofenceMatching {};

}  // namespace zarn
