#pragma once
#include "core/ZarnPNotification.h"

namespace zarn {

// A geofence notification with its distance from the fix, in metres: the geofence matching
// hands these, nearest first, to the choice of the regions to monitor.
struct ZarnPNotificationWithDistance {
    ZarnPNotification notification;
    double distance = 0;
};

}  // namespace zarn
