#pragma once

namespace zarn {

// PLACEHOLDER until significant location changes are built: keeps the two switches the
// configuration sets, nothing more.
class ZarnPSystemSLCDao {
  public:
    virtual ~ZarnPSystemSLCDao() = default;
    virtual void setEnableBackgroundLocation(bool v) { enableBackgroundLocation_ = v; }
    virtual void setAutomaticallyAskLocationPermission(bool v) { automaticallyAskLocationPermission_ = v; }
    bool enableBackgroundLocation() const { return enableBackgroundLocation_; }
    bool automaticallyAskLocationPermission() const { return automaticallyAskLocationPermission_; }

  private:
    bool enableBackgroundLocation_ = true;
    bool automaticallyAskLocationPermission_ = true;
};

}  // namespace zarn
