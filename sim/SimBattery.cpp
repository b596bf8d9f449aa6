#include "sim/SimBattery.h"

namespace zarn::sim {

bool SimBattery::isBatteryMonitoringEnabled() {
    std::lock_guard lk(mutex_);
    return monitoring_;
}

void SimBattery::setBatteryMonitoringEnabled(bool enabled) {
    std::lock_guard lk(mutex_);
    if (monitoring_ != enabled)
        ++monitoringSwitches_;
    monitoring_ = enabled;
}

double SimBattery::batteryLevel() {
    std::lock_guard lk(mutex_);
    return monitoring_ ? level_ : -1.0;
}

platform::BatteryState SimBattery::batteryState() {
    std::lock_guard lk(mutex_);
    return monitoring_ ? state_ : platform::BatteryState::Unknown;
}

void SimBattery::setBattery(double level, platform::BatteryState state) {
    std::lock_guard lk(mutex_);
    level_ = level;
    state_ = state;
}

int SimBattery::batteryMonitoringSwitches() {
    std::lock_guard lk(mutex_);
    return monitoringSwitches_;
}

}  // namespace zarn::sim
