#include "store/ZarnPLocalNotificationDaoExpiredNotification.h"

#include <cmath>
#include <functional>

#include "core/Format.h"

namespace zarn {

bool ZarnPLocalNotificationDaoExpiredNotification::isEqual(
    const ZarnPLocalNotificationDaoExpiredNotification& other) const {
    if (this == &other)
        return true;
    return identifier_ == other.identifier_ && matchIdentifier_ == other.matchIdentifier_ &&
           std::fabs(timeIntervalBetween(sendDate_, other.sendDate_)) < 0.1;
}

std::size_t ZarnPLocalNotificationDaoExpiredNotification::hash() const {
    return std::hash<std::string>{}(identifier_)*31 + std::hash<std::string>{}(matchIdentifier_);
}

std::string ZarnPLocalNotificationDaoExpiredNotification::description() const {
    return format(
        "<ZarnPLocalNotificationDaoExpiredNotification identifier: %@ matchIdentifier: %@ sendDate: %@>",
        identifier_, matchIdentifier_, sendDate_);
}

}  // namespace zarn
