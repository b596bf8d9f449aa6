#include "device/system/ZarnPLocationManagerCreatorImpl.h"

#include "core/ZarnException.h"
#include "zarn/platform/LocationManager.h"

namespace zarn {

ZarnPLocationManagerCreatorImpl::ZarnPLocationManagerCreatorImpl(
    std::shared_ptr<platform::LocationManagerFactory> factory,
    std::shared_ptr<platform::LocationAuthorization> authorization)
    : factory_(std::move(factory)), authorization_(std::move(authorization)) {
    ZARN_REQUIRE(factory_);
    ZARN_REQUIRE(authorization_);
}

std::shared_ptr<platform::LocationManager> ZarnPLocationManagerCreatorImpl::createDefaultLocationManager() {
    auto manager = factory_->createLocationManager();
    manager->setDistanceFilter(0.0);
    manager->setDesiredAccuracy(kDesiredAccuracyMeters);
    manager->setPausesLocationUpdatesAutomatically(false);
    return manager;
}

bool ZarnPLocationManagerCreatorImpl::isLocationServiceEnabled() {
    if (!authorization_->locationServicesEnabled())
        return false;
    auto status = authorization_->authorizationStatus();
    return status != platform::LocationAuthorizationStatus::Restricted &&
           status != platform::LocationAuthorizationStatus::Denied;
}

platform::LocationAuthorizationStatus ZarnPLocationManagerCreatorImpl::authorizationStatus() {
    return authorization_->authorizationStatus();
}

}  // namespace zarn
