#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "core/ZarnPLocation.h"

namespace zarn {

// What region monitoring reads of a geofence notification: its short id (the region's key),
// its centre, its match range in metres and whether it fires on leaving. The matching builds
// one per notification it wants watched.
struct ZarnPGeofence {
    std::optional<std::string> shortId;
    std::optional<ZarnPLocation> location;
    std::int32_t matchRange = 0;
    bool triggerOnExit = false;
};

}  // namespace zarn
