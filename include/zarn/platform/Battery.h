#pragma once

namespace zarn::platform {

enum class BatteryState : int { Unknown = 0, Unplugged = 1, Charging = 2, Full = 3 };

// The device's battery. Any thread. While monitoring is off the level reads -1.0 and the state
// Unknown; monitoring stays on once switched on until switched off.
class Battery {
  public:
    virtual ~Battery() = default;
    Battery() = default;
    Battery(const Battery&) = delete;
    Battery& operator=(const Battery&) = delete;

    virtual bool isBatteryMonitoringEnabled() = 0;
    virtual void setBatteryMonitoringEnabled(bool enabled) = 0;
    // The charge from 0.0 to 1.0, or -1.0 when it cannot be told.
    virtual double batteryLevel() = 0;
    virtual BatteryState batteryState() = 0;
};

}  // namespace zarn::platform
