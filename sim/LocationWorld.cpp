#include "sim/LocationWorld.h"

#include "sim/SimLocationManager.h"
#include "zarn/platform/Platform.h"

namespace zarn::sim {

std::shared_ptr<LocationWorld> LocationWorld::create(std::shared_ptr<platform::TimeSource> time) {
    std::shared_ptr<LocationWorld> world(new LocationWorld(std::move(time)));
    std::weak_ptr<LocationWorld> weak = world;
    world->regions_ = std::make_shared<RegionRegistry>(world->beacons_, [weak](auto call) {
        if (auto w = weak.lock())
            w->broadcast(call);
    });
    // Every move re-judges the regions and may be a significant change; placed beacons change
    // which beacon regions the device is in.
    world->position_->addListener([weak](const std::optional<platform::LocationCoordinate2D>& at) {
        if (auto w = weak.lock()) {
            w->regions_->positionChanged(at);
            w->significant_->positionChanged(at);
        }
    });
    world->beacons_->setChangeListener([weak] {
        if (auto w = weak.lock())
            w->regions_->positionChanged(w->position_->current());
    });
    return world;
}

LocationWorld::LocationWorld(std::shared_ptr<platform::TimeSource> time)
    : time_(std::move(time)),
      position_(std::make_shared<TruePosition>(time_)),
      fixes_(std::make_shared<FixModel>(time_, position_)),
      significant_(std::make_shared<SignificantChanges>(fixes_)),
      beacons_(std::make_shared<BeaconField>(position_)) {}

std::shared_ptr<platform::LocationManager> LocationWorld::createLocationManager() {
    platform::RunLoop* current = platform::RunLoop::current();
    auto loop = current ? current->shared_from_this() : platform::mainRunLoop();
    auto manager = std::make_shared<SimLocationManager>(weak_from_this(), loop);
    std::lock_guard lk(mutex_);
    ++created_;
    std::erase_if(managers_, [](auto& w) { return w.expired(); });
    managers_.push_back(manager);
    return manager;
}

std::optional<bool> LocationWorld::isRangingAvailable() {
    std::lock_guard lk(mutex_);
    return rangingAvailable_;
}

bool LocationWorld::regionsHaveNotifyOnExit() {
    std::lock_guard lk(mutex_);
    return notifyOnExit_;
}

void LocationWorld::setRangingAvailable(std::optional<bool> available) {
    std::lock_guard lk(mutex_);
    rangingAvailable_ = available;
}

void LocationWorld::setRegionsHaveNotifyOnExit(bool have) {
    std::lock_guard lk(mutex_);
    notifyOnExit_ = have;
}

void LocationWorld::setRespondsToAuthorizationRequests(bool responds) {
    std::lock_guard lk(mutex_);
    respondsToAuthorization_ = responds;
}

bool LocationWorld::respondsToAuthorizationRequests() {
    std::lock_guard lk(mutex_);
    return respondsToAuthorization_;
}

std::vector<std::string> LocationWorld::authorizationRequests() {
    std::lock_guard lk(mutex_);
    return authorizationRequests_;
}

void LocationWorld::noteAuthorizationRequest(std::string kind) {
    std::lock_guard lk(mutex_);
    authorizationRequests_.push_back(std::move(kind));
}

int LocationWorld::managersCreated() {
    std::lock_guard lk(mutex_);
    return created_;
}

void LocationWorld::broadcast(const std::function<void(platform::LocationManagerDelegate&)>& call) {
    std::vector<std::shared_ptr<SimLocationManager>> live;
    {
        std::lock_guard lk(mutex_);
        for (auto& w : managers_)
            if (auto m = w.lock())
                live.push_back(m);
    }
    for (auto& m : live) m->deliver(call);
}

void LocationWorld::provide(platform::Services& services) {
    services.locationManagerFactory = shared_from_this();
}

}  // namespace zarn::sim
