#pragma once
#include <mutex>

#include "zarn/platform/LocationAuthorization.h"

namespace zarn::sim {

// The location facility's app-wide answers, as the test sets them. Any thread.
class SimLocationAuthorization : public platform::LocationAuthorization {
  public:
    bool locationServicesEnabled() override;
    platform::LocationAuthorizationStatus authorizationStatus() override;
    platform::LocationAccuracyAuthorization accuracyAuthorization() override;
    bool significantLocationChangeMonitoringAvailable() override;
    bool regionMonitoringAvailable() override;
    void setLocationServicesEnabled(bool enabled);
    void setLocationAuthorizationStatus(platform::LocationAuthorizationStatus status);
    void setAccuracyAuthorization(platform::LocationAccuracyAuthorization accuracy);
    void setSignificantLocationChangeMonitoringAvailable(bool available);
    void setRegionMonitoringAvailable(bool available);

  private:
    std::mutex mutex_;
    bool servicesEnabled_ = true;
    platform::LocationAuthorizationStatus status_ = platform::LocationAuthorizationStatus::AuthorizedAlways;
    platform::LocationAccuracyAuthorization accuracy_ = platform::LocationAccuracyAuthorization::FullAccuracy;
    bool slcAvailable_ = true;
    bool regionMonitoringAvailable_ = true;
};

}  // namespace zarn::sim
