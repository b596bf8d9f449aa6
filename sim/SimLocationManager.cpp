#include "sim/SimLocationManager.h"

#include <algorithm>

#include "sim/LocationWorld.h"

namespace zarn::sim {

SimLocationManager::SimLocationManager(std::weak_ptr<LocationWorld> world,
                                       std::shared_ptr<platform::RunLoop> deliveryLoop)
    : world_(std::move(world)), loop_(std::move(deliveryLoop)) {}

SimLocationManager::~SimLocationManager() {
    if (auto w = world_.lock()) {
        w->fixes()->stop(this);
        w->significantChanges()->stop(this);
        for (auto& r : ranged_) w->beacons()->stopRanging(r.identifier, this);
    }
}

void SimLocationManager::setDelegate(std::weak_ptr<platform::LocationManagerDelegate> delegate) {
    std::lock_guard lk(mutex_);
    delegate_ = std::move(delegate);
}

void SimLocationManager::setDistanceFilter(double metres) {
    std::lock_guard lk(mutex_);
    distanceFilter_ = metres;
}

double SimLocationManager::distanceFilter() {
    std::lock_guard lk(mutex_);
    return distanceFilter_;
}

void SimLocationManager::setDesiredAccuracy(double metres) {
    std::lock_guard lk(mutex_);
    desiredAccuracy_ = metres;
}

double SimLocationManager::desiredAccuracy() {
    std::lock_guard lk(mutex_);
    return desiredAccuracy_;
}

void SimLocationManager::setPausesLocationUpdatesAutomatically(bool pauses) {
    std::lock_guard lk(mutex_);
    pauses_ = pauses;
}

bool SimLocationManager::pausesLocationUpdatesAutomatically() {
    std::lock_guard lk(mutex_);
    return pauses_;
}

void SimLocationManager::startUpdatingLocation() {
    {
        std::lock_guard lk(mutex_);
        updating_ = true;
    }
    if (auto w = world_.lock())
        w->fixes()->start(shared_from_this());
}

void SimLocationManager::stopUpdatingLocation() {
    {
        std::lock_guard lk(mutex_);
        updating_ = false;
    }
    if (auto w = world_.lock())
        w->fixes()->stop(this);
}

void SimLocationManager::startMonitoringSignificantLocationChanges() {
    {
        std::lock_guard lk(mutex_);
        significant_ = true;
    }
    if (auto w = world_.lock())
        w->significantChanges()->start(shared_from_this(), w->position()->current());
}

void SimLocationManager::stopMonitoringSignificantLocationChanges() {
    {
        std::lock_guard lk(mutex_);
        significant_ = false;
    }
    if (auto w = world_.lock())
        w->significantChanges()->stop(this);
}

bool SimLocationManager::respondsToAuthorizationRequests() {
    auto w = world_.lock();
    return w && w->respondsToAuthorizationRequests();
}

void SimLocationManager::requestAlwaysAuthorization() {
    if (auto w = world_.lock())
        w->noteAuthorizationRequest("always");
}

void SimLocationManager::requestWhenInUseAuthorization() {
    if (auto w = world_.lock())
        w->noteAuthorizationRequest("whenInUse");
}

void SimLocationManager::startMonitoringForRegion(const platform::Region& region) {
    if (auto w = world_.lock())
        w->regions()->startMonitoring(region, shared_from_this(), w->position()->current());
}

void SimLocationManager::stopMonitoringForRegion(const platform::Region& region) {
    if (auto w = world_.lock())
        w->regions()->stopMonitoring(region.identifier);
}

std::vector<platform::Region> SimLocationManager::monitoredRegions() {
    auto w = world_.lock();
    return w ? w->regions()->monitored() : std::vector<platform::Region>{};
}

void SimLocationManager::requestStateForRegion(const platform::Region& region) {
    if (auto w = world_.lock())
        w->regions()->requestState(region, shared_from_this(), w->position()->current());
}

double SimLocationManager::maximumRegionMonitoringDistance() {
    auto w = world_.lock();
    return w ? w->regions()->maximumDistance() : 0.0;
}

void SimLocationManager::startRangingBeaconsInRegion(const platform::Region& region) {
    {
        std::lock_guard lk(mutex_);
        for (auto& r : ranged_)
            if (r.identifier == region.identifier)
                return;
        ranged_.push_back(region);
    }
    if (auto w = world_.lock())
        w->beacons()->startRanging(region, shared_from_this());
}

void SimLocationManager::stopRangingBeaconsInRegion(const platform::Region& region) {
    {
        std::lock_guard lk(mutex_);
        std::erase_if(ranged_, [&](const platform::Region& r) { return r.identifier == region.identifier; });
    }
    if (auto w = world_.lock())
        w->beacons()->stopRanging(region.identifier, this);
}

std::vector<platform::Region> SimLocationManager::rangedRegions() {
    std::lock_guard lk(mutex_);
    return ranged_;
}

void SimLocationManager::deliver(Call call) {
    std::weak_ptr<SimLocationManager> weak = weak_from_this();
    loop_->post([weak, call = std::move(call)] {
        auto self = weak.lock();
        if (!self)
            return;
        std::shared_ptr<platform::LocationManagerDelegate> delegate;
        {
            std::lock_guard lk(self->mutex_);
            delegate = self->delegate_.lock();
        }
        if (delegate)
            call(*delegate);
    });
}

bool SimLocationManager::isUpdatingLocation() {
    std::lock_guard lk(mutex_);
    return updating_;
}

bool SimLocationManager::isMonitoringSignificantChanges() {
    std::lock_guard lk(mutex_);
    return significant_;
}

}  // namespace zarn::sim
