#include "sim/SimDeviceInfo.h"

namespace zarn::sim {

std::string SimDeviceInfo::systemVersion() {
    std::lock_guard lk(mutex_);
    return systemVersion_;
}

void SimDeviceInfo::setSystemVersion(std::string version) {
    std::lock_guard lk(mutex_);
    systemVersion_ = std::move(version);
}

}  // namespace zarn::sim
