#include "sim/BeaconField.h"

#include <algorithm>

#include "sim/SimLocationManager.h"
#include "sim/Support.h"
#include "zarn/platform/LocationManager.h"
#include "zarn/platform/Platform.h"

namespace zarn::sim {

BeaconField::BeaconField(std::shared_ptr<TruePosition> position) : position_(std::move(position)) {}

BeaconField::~BeaconField() {
    std::lock_guard lk(mutex_);
    for (auto& [key, s] : sessions_) s.timer->invalidate();
}

platform::BeaconProximity BeaconField::proximityForDistance(double metres) {
    if (metres <= 1.0)
        return platform::BeaconProximity::Immediate;
    if (metres <= 5.0)
        return platform::BeaconProximity::Near;
    return platform::BeaconProximity::Far;
}

void BeaconField::place(PlacedBeacon beacon) {
    std::function<void()> changed;
    {
        std::lock_guard lk(mutex_);
        beacons_.push_back(beacon);
        changed = changed_;
    }
    if (changed)
        changed();
}

void BeaconField::removeAll() {
    std::function<void()> changed;
    {
        std::lock_guard lk(mutex_);
        beacons_.clear();
        changed = changed_;
    }
    if (changed)
        changed();
}

void BeaconField::scriptPasses(const platform::ProximityUuid& uuid,
                               std::vector<std::vector<platform::Beacon>> passes) {
    std::lock_guard lk(mutex_);
    auto& q = scripted_[uuid];
    for (auto& p : passes) q.push_back(std::move(p));
}

void BeaconField::setRangingFails(bool fails) {
    std::lock_guard lk(mutex_);
    fails_ = fails;
}

void BeaconField::setChangeListener(std::function<void()> listener) {
    std::lock_guard lk(mutex_);
    changed_ = std::move(listener);
}

std::vector<platform::Beacon> BeaconField::inRange(const platform::Region& region,
                                                   const std::optional<platform::LocationCoordinate2D>& at) {
    std::vector<std::pair<double, platform::Beacon>> found;
    if (at) {
        std::lock_guard lk(mutex_);
        for (const auto& b : beacons_) {
            if (b.proximityUuid != region.proximityUuid || (region.major && *region.major != b.major) ||
                (region.minor && *region.minor != b.minor))
                continue;
            double d = distanceMetres(*at, b.at);
            if (!(d <= b.range))
                continue;
            platform::Beacon seen;
            seen.proximityUuid = b.proximityUuid;
            seen.major = b.major;
            seen.minor = b.minor;
            seen.proximity = proximityForDistance(d);
            seen.accuracy = d;
            seen.rssi = -59 - static_cast<int>(d);
            found.emplace_back(d, seen);
        }
    }
    std::stable_sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::vector<platform::Beacon> out;
    for (auto& [d, b] : found) out.push_back(b);
    return out;
}

void BeaconField::startRanging(const platform::Region& region,
                               const std::shared_ptr<SimLocationManager>& manager) {
    std::lock_guard lk(mutex_);
    Key key{manager.get(), region.identifier};
    if (sessions_.count(key))
        return;
    std::weak_ptr<BeaconField> weak = weak_from_this();
    auto timer = platform::mainRunLoop()->addTimer(1.0, true, [weak, key] {
        if (auto self = weak.lock())
            self->pass(key);
    });
    sessions_[key] = Session{region, manager, timer};
}

void BeaconField::stopRanging(const std::string& identifier, const SimLocationManager* manager) {
    std::lock_guard lk(mutex_);
    auto it = sessions_.find(Key{manager, identifier});
    if (it == sessions_.end())
        return;
    it->second.timer->invalidate();
    sessions_.erase(it);
}

int BeaconField::passCount() {
    std::lock_guard lk(mutex_);
    return passes_;
}

size_t BeaconField::activeRangings() {
    std::lock_guard lk(mutex_);
    return sessions_.size();
}

void BeaconField::pass(const Key& key) {
    std::shared_ptr<SimLocationManager> manager;
    platform::Region region;
    std::optional<std::vector<platform::Beacon>> beacons;
    bool fails;
    {
        std::lock_guard lk(mutex_);
        auto it = sessions_.find(key);
        if (it == sessions_.end())
            return;
        manager = it->second.manager.lock();
        if (!manager)
            return;
        region = it->second.region;
        fails = fails_;
        auto script = scripted_.find(region.proximityUuid);
        if (!fails && script != scripted_.end() && !script->second.empty()) {
            beacons = std::move(script->second.front());
            script->second.pop_front();
        }
        ++passes_;
    }
    if (fails) {
        Error e{std::string(platform::kLocationErrorDomain), platform::kLocationErrorRangingFailure,
                "Ranging failed"};
        manager->deliver([region, e](platform::LocationManagerDelegate& d) {
            d.locationManagerRangingBeaconsDidFail(region, e);
        });
        return;
    }
    if (!beacons)
        beacons = inRange(region, position_->current());
    manager->deliver([region, b = std::move(*beacons)](platform::LocationManagerDelegate& d) {
        d.locationManagerDidRangeBeacons(b, region);
    });
}

}  // namespace zarn::sim
