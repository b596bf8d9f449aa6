#include "sim/SimTrackingAuthorization.h"

namespace zarn::sim {

platform::TrackingAuthorizationStatus SimTrackingAuthorization::trackingAuthorizationStatus() {
    std::lock_guard lk(mutex_);
    return status_;
}

void SimTrackingAuthorization::setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus status) {
    std::lock_guard lk(mutex_);
    status_ = status;
}

}  // namespace zarn::sim
