#include "core/ZarnPNotificationRegionType.h"

namespace zarn {

int ZarnPNotificationRegionType::StringToRegion(const std::optional<std::string>& text) {
    if (!text)
        return ZarnPNotificationRegionTypeGeofence;
    if (*text == "beacon")
        return ZarnPNotificationRegionTypeBeacon;
    if (*text == "external")
        return ZarnPNotificationRegionTypeExternal;
    return ZarnPNotificationRegionTypeGeofence;
}

}  // namespace zarn
