#include "core/ZarnPNotificationRegionType.h"

#include "core/ZarnPUserInfoKeys.h"

namespace zarn {

int ZarnPNotificationRegionType::StringToRegion(const std::optional<std::string>& text) {
    if (!text)
        return ZarnPNotificationRegionTypeGeofence;
    if (*text == userinfo::kRegionBeacon)
        return ZarnPNotificationRegionTypeBeacon;
    if (*text == userinfo::kRegionExternal)
        return ZarnPNotificationRegionTypeExternal;
    return ZarnPNotificationRegionTypeGeofence;
}

const char* ZarnPNotificationRegionType::regionToString(int regionType) {
    switch (regionType) {
        case ZarnPNotificationRegionTypeGeofence:
            return userinfo::kRegionGeofence;
        case ZarnPNotificationRegionTypeBeacon:
            return userinfo::kRegionBeacon;
        case ZarnPNotificationRegionTypeExternal:
            return userinfo::kRegionExternal;
        default:
            return nullptr;
    }
}

}  // namespace zarn
