#pragma once

namespace zarn {

// The significant-change wrapper as the facade configures it. SDK thread only.
class ZarnPSignificantChangeMonitoring {
  public:
    virtual ~ZarnPSignificantChangeMonitoring() = default;
    virtual void setEnableBackgroundLocation(bool enabled) = 0;
    virtual void setAutomaticallyAskLocationPermission(bool ask) = 0;
    virtual bool enableBackgroundLocation() const = 0;
    virtual bool automaticallyAskLocationPermission() const = 0;
};

}  // namespace zarn
