#pragma once
#include <optional>
#include <string>

namespace zarn {

// The kind of region a notification belongs to; it selects the state store of the matching.
enum ZarnPNotificationRegionTypeValue : int {
    ZarnPNotificationRegionTypeGeofence = 0,
    ZarnPNotificationRegionTypeBeacon = 1,
    ZarnPNotificationRegionTypeExternal = 2,
};

class ZarnPNotificationRegionType {
  public:
    // "beacon" 1, "external" 2 (exact, lower case); any other text, "geofence" and nothing
    // included, 0. (Capital S, spelled so.)
    static int StringToRegion(const std::optional<std::string>& text);
    // "geofence" 0, "beacon" 1, "external" 2; nothing for any other value.
    static const char* regionToString(int regionType);
};

}  // namespace zarn
