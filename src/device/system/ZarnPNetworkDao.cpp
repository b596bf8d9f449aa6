#include "device/system/ZarnPNetworkDao.h"

#include "zarn/platform/Platform.h"
#include "zarn/platform/Reachability.h"

namespace zarn {

ZarnPNetworkDao::ZarnPNetworkDao(std::string serviceHost,
                                 std::shared_ptr<platform::Reachability> reachability)
    : serviceHost_(std::move(serviceHost)), reachability_(std::move(reachability)) {}

std::string ZarnPNetworkDao::connectionType() {
    if (!reachability_)
        return kUnknown;
    auto flags = reachability_->flagsForHostName(serviceHost_);
    if (!flags)
        return kUnknown;
    bool reachable = (*flags & platform::kReachabilityFlagReachable) != 0;
    bool connectionRequired = (*flags & platform::kReachabilityFlagConnectionRequired) != 0;
    if (reachable && !connectionRequired)
        return (*flags & platform::kReachabilityFlagIsWWAN) ? kMobile : kWifi;
    return kNone;
}

bool ZarnPNetworkDao::isMeteredConnection() {
    return connectionType() != kWifi;
}

bool ZarnPNetworkDao::isRoaming() {
    return false;
}

}  // namespace zarn
