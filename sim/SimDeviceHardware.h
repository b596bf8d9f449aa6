#pragma once
#include <mutex>
#include <optional>
#include <string>

#include "zarn/platform/DeviceHardware.h"

namespace zarn::sim {

// The simulated device's hardware facts, as the test sets them. Any thread.
class SimDeviceHardware : public platform::DeviceHardware {
  public:
    std::optional<std::string> machine() override;
    std::string model() override;
    std::string systemName() override;
    std::optional<std::string> identifierForVendor() override;
    void setMachine(std::optional<std::string> machine);
    void setModel(std::string model);
    void setSystemName(std::string name);
    void setIdentifierForVendor(std::optional<std::string> identifier);

  private:
    std::mutex mutex_;
    std::optional<std::string> machine_ = std::string("iPhone15,2");
    std::string model_ = "iPhone";
    std::string systemName_ = "iOS";
    std::optional<std::string> identifierForVendor_ = std::string("6F1C0B7E-3D2A-4C5B-9E8F-0A1B2C3D4E5F");
};

}  // namespace zarn::sim
