#pragma once
#include <mutex>

#include "zarn/platform/Battery.h"

namespace zarn::sim {

// The simulated battery: a true charge and state that the library sees only while monitoring is
// on. Counts the library's monitoring switches. Any thread.
class SimBattery : public platform::Battery {
  public:
    bool isBatteryMonitoringEnabled() override;
    void setBatteryMonitoringEnabled(bool enabled) override;
    double batteryLevel() override;
    platform::BatteryState batteryState() override;

    void setBattery(double level, platform::BatteryState state);
    int batteryMonitoringSwitches();

  private:
    std::mutex mutex_;
    bool monitoring_ = false;
    int monitoringSwitches_ = 0;
    double level_ = 0.8;
    platform::BatteryState state_ = platform::BatteryState::Unplugged;
};

}  // namespace zarn::sim
