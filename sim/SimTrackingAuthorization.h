#pragma once
#include <mutex>

#include "zarn/platform/TrackingAuthorization.h"

namespace zarn::sim {

// Whether the user lets the app track them, as the test sets it. Any thread.
class SimTrackingAuthorization : public platform::TrackingAuthorization {
  public:
    platform::TrackingAuthorizationStatus trackingAuthorizationStatus() override;
    void setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus status);

  private:
    std::mutex mutex_;
    platform::TrackingAuthorizationStatus status_ = platform::TrackingAuthorizationStatus::NotDetermined;
};

}  // namespace zarn::sim
