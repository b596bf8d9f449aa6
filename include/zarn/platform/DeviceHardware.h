#pragma once
#include <optional>
#include <string>

namespace zarn::platform {

// Facts about the device itself. Any thread; every answer is read fresh and never fails
// visibly (missing facts are nothing). The system version is DeviceInfo's.
class DeviceHardware {
  public:
    virtual ~DeviceHardware() = default;
    DeviceHardware() = default;
    DeviceHardware(const DeviceHardware&) = delete;
    DeviceHardware& operator=(const DeviceHardware&) = delete;

    // The machine identifier of the system control "hw.machine" ("iPhone15,2"), or nothing when
    // the control cannot be read.
    virtual std::optional<std::string> machine() = 0;
    // The generic model name ("iPhone", "iPad").
    virtual std::string model() = 0;
    // The operating system's name ("iOS").
    virtual std::string systemName() = 0;
    // The identifier shared by the apps of one vendor on this device, as upper-case UUID text;
    // nothing while the device is not yet unlocked after a restart.
    virtual std::optional<std::string> identifierForVendor() = 0;
};

}  // namespace zarn::platform
