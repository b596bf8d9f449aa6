#include "device/system/ZarnPBatteryDao.h"

#include <cmath>

#include "zarn/platform/Battery.h"
#include "zarn/platform/Platform.h"

namespace zarn {

ZarnPBatteryDao::ZarnPBatteryDao(std::shared_ptr<platform::Battery> battery) : battery_(std::move(battery)) {}

std::shared_ptr<platform::Battery> ZarnPBatteryDao::enableBatteryMonitoringAndRetrieveDevice() {
    if (battery_ && !battery_->isBatteryMonitoringEnabled())
        battery_->setBatteryMonitoringEnabled(true);
    return battery_;
}

bool ZarnPBatteryDao::isPlugged() {
    auto battery = enableBatteryMonitoringAndRetrieveDevice();
    return !battery || battery->batteryState() != platform::BatteryState::Unplugged;
}

int ZarnPBatteryDao::batteryLevel() {
    auto battery = enableBatteryMonitoringAndRetrieveDevice();
    double level = battery ? battery->batteryLevel() : -1.0;
    // The platform answers -1.0 when it cannot tell; anything outside 0...1 is treated alike
    // rather than converted out of range.
    if (!std::isfinite(level) || level < 0.0 || level > 1.0)
        level = -1.0;
    return static_cast<int>(level * 100.0);
}

}  // namespace zarn
