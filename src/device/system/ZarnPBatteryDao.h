#pragma once
#include <memory>

namespace zarn {

namespace platform {
class Battery;
}

// Charging state and charge of the battery; switches battery monitoring on when it is off and
// leaves it on. Any thread.
class ZarnPBatteryDao {
  public:
    // A null battery means the installed platform's; without one the state and level are unknown.
    // The platform's battery; a host without one (null) gets the cautious answers.
    explicit ZarnPBatteryDao(std::shared_ptr<platform::Battery> battery);
    virtual ~ZarnPBatteryDao() = default;

    // YES unless the battery is unplugged (an undetermined state counts as plugged).
    virtual bool isPlugged();
    // The charge in percent, truncated; -100 when it cannot be told.
    virtual int batteryLevel();

    // Switches monitoring on when it is off; the battery, or null without one.
    std::shared_ptr<platform::Battery> enableBatteryMonitoringAndRetrieveDevice();

  private:
    std::shared_ptr<platform::Battery> battery_;
};

}  // namespace zarn
