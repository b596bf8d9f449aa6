#include "sim/SimLocationAuthorization.h"

namespace zarn::sim {

bool SimLocationAuthorization::locationServicesEnabled() {
    std::lock_guard lk(mutex_);
    return servicesEnabled_;
}

platform::LocationAuthorizationStatus SimLocationAuthorization::authorizationStatus() {
    std::lock_guard lk(mutex_);
    return status_;
}

platform::LocationAccuracyAuthorization SimLocationAuthorization::accuracyAuthorization() {
    std::lock_guard lk(mutex_);
    return accuracy_;
}

bool SimLocationAuthorization::significantLocationChangeMonitoringAvailable() {
    std::lock_guard lk(mutex_);
    return slcAvailable_;
}

bool SimLocationAuthorization::regionMonitoringAvailable() {
    std::lock_guard lk(mutex_);
    return regionMonitoringAvailable_;
}

void SimLocationAuthorization::setLocationServicesEnabled(bool enabled) {
    std::lock_guard lk(mutex_);
    servicesEnabled_ = enabled;
}

void SimLocationAuthorization::setLocationAuthorizationStatus(platform::LocationAuthorizationStatus status) {
    std::lock_guard lk(mutex_);
    status_ = status;
}

void SimLocationAuthorization::setAccuracyAuthorization(platform::LocationAccuracyAuthorization accuracy) {
    std::lock_guard lk(mutex_);
    accuracy_ = accuracy;
}

void SimLocationAuthorization::setSignificantLocationChangeMonitoringAvailable(bool available) {
    std::lock_guard lk(mutex_);
    slcAvailable_ = available;
}

void SimLocationAuthorization::setRegionMonitoringAvailable(bool available) {
    std::lock_guard lk(mutex_);
    regionMonitoringAvailable_ = available;
}

}  // namespace zarn::sim
