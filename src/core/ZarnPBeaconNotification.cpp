#include "core/ZarnPBeaconNotification.h"

#include <functional>

#include "core/Format.h"
#include "core/ZarnPNotificationHandlerUtil.h"

namespace zarn {

std::size_t ZarnPBeaconNotification::hash() const {
    std::size_t h = std::hash<std::string>{}(identifier_);
    h = h * 31 + std::hash<std::string>{}(beaconUuid_);
    h = h * 31 + std::hash<int>{}(majorId_.value_or(-1));
    h = h * 31 + std::hash<int>{}(minorId_.value_or(-1));
    return h;
}

std::string ZarnPBeaconNotification::description() const {
    return format(
        "ZarnPBeaconNotification: identifier=%@ beaconUuid=%@ majorId=%@ minorId=%@ message=%@ timespans=%@ "
        "data=%@ matchRange=%d offeredForMatch=%@ triggerOnExit=%@ notificationHandlerType=%@ "
        "dwellingMinutes=%d cooldownGroups=%@ segmentationIds=%@ segmentationProperties=%@",
        identifier_, beaconUuid_, majorId_, minorId_, message_, timespans_, data_, matchRange_,
        offeredForMatch_ ? "YES" : "NO", triggerOnExit_ ? "YES" : "NO",
        ZarnPNotificationHandlerUtil::handlerToString(notificationHandlerType_), dwellingMinutes_,
        cooldownGroups_, segmentationIds_, segmentationProperties_);
}

}  // namespace zarn
