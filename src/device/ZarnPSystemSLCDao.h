#pragma once
#include "device/ZarnPSignificantChangeMonitoring.h"

namespace zarn {

// PLACEHOLDER until significant location changes are built: keeps the two switches the
// configuration sets, nothing more.
class ZarnPSystemSLCDao : public ZarnPSignificantChangeMonitoring {
  public:
    void setEnableBackgroundLocation(bool v) override { enableBackgroundLocation_ = v; }
    void setAutomaticallyAskLocationPermission(bool v) override { automaticallyAskLocationPermission_ = v; }
    bool enableBackgroundLocation() const override { return enableBackgroundLocation_; }
    bool automaticallyAskLocationPermission() const override { return automaticallyAskLocationPermission_; }

  private:
    bool enableBackgroundLocation_ = true;
    bool automaticallyAskLocationPermission_ = true;
};

}  // namespace zarn
