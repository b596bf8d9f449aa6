#pragma once
#include <optional>
#include <string>

#include "zarn/ZarnConfiguration.h"

namespace zarn {

// The only configuration kind the library accepts; ZarnConfiguration::create() makes one.
class ZarnPZarnConfiguration : public ZarnConfiguration {
  public:
    ZarnPZarnConfiguration() = default;

    bool debugLaunch() const { return debugLaunch_; }
    void setDebugLaunch(bool v) { debugLaunch_ = v; }
    bool useFileConfigLaunch() const { return useFileConfigLaunch_; }
    void setUseFileConfigLaunch(bool v) { useFileConfigLaunch_ = v; }
    bool apnsSandbox() const { return apnsSandbox_; }
    void setApnsSandbox(bool v) { apnsSandbox_ = v; }
    std::optional<std::string> xamarinVersion() const { return xamarinVersion_; }
    void setXamarinVersion(std::optional<std::string> v) { xamarinVersion_ = std::move(v); }

  private:
    bool debugLaunch_ = false;
    bool useFileConfigLaunch_ = false;
    bool apnsSandbox_ = false;
    std::optional<std::string> xamarinVersion_;
};

}  // namespace zarn
