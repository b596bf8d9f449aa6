#pragma once
#include <mutex>
#include <string>

#include "zarn/platform/SystemInfo.h"

namespace zarn::sim {

// The operating-system version the simulated device reports. Any thread.
class SimDeviceInfo : public platform::DeviceInfo {
  public:
    std::string systemVersion() override;
    void setSystemVersion(std::string version);

  private:
    std::mutex mutex_;
    std::string systemVersion_ = "16.4";
};

}  // namespace zarn::sim
