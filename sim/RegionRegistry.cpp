#include "sim/RegionRegistry.h"

#include "sim/SimLocationManager.h"
#include "sim/Support.h"
#include "zarn/platform/LocationManager.h"

namespace zarn::sim {

RegionRegistry::RegionRegistry(std::shared_ptr<BeaconField> beacons, Broadcast broadcast)
    : beacons_(std::move(beacons)), broadcast_(std::move(broadcast)) {}

void RegionRegistry::setMaximumDistance(double metres) {
    std::lock_guard lk(mutex_);
    maximumDistance_ = metres;
}

double RegionRegistry::maximumDistance() {
    std::lock_guard lk(mutex_);
    return maximumDistance_;
}

bool RegionRegistry::insideLocked(const platform::Region& region,
                                  const std::optional<platform::LocationCoordinate2D>& at) {
    if (!at)
        return false;
    if (region.isBeacon())
        return !beacons_->inRange(region, at).empty();
    return distanceMetres(region.center, *at) <= region.radius;
}

void RegionRegistry::seedAppRegion(const platform::Region& region,
                                   const std::optional<platform::LocationCoordinate2D>& position) {
    std::lock_guard lk(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.region.identifier == region.identifier; });
    entries_.push_back(Entry{region, insideLocked(region, position)});
}

std::vector<platform::Region> RegionRegistry::monitored() {
    std::lock_guard lk(mutex_);
    std::vector<platform::Region> out;
    for (auto& e : entries_) out.push_back(e.region);
    return out;
}

std::optional<platform::Region> RegionRegistry::region(const std::string& identifier) {
    std::lock_guard lk(mutex_);
    for (auto& e : entries_)
        if (e.region.identifier == identifier)
            return e.region;
    return std::nullopt;
}

platform::RegionState RegionRegistry::state(const std::string& identifier) {
    std::lock_guard lk(mutex_);
    for (auto& e : entries_)
        if (e.region.identifier == identifier)
            return e.inside ? platform::RegionState::Inside : platform::RegionState::Outside;
    return platform::RegionState::Unknown;
}

std::vector<RegionRegistry::Crossing> RegionRegistry::crossings() {
    std::lock_guard lk(mutex_);
    return crossings_;
}

std::vector<std::string> RegionRegistry::requests() {
    std::lock_guard lk(mutex_);
    return requests_;
}

void RegionRegistry::startMonitoring(const platform::Region& region,
                                     const std::shared_ptr<SimLocationManager>& manager,
                                     const std::optional<platform::LocationCoordinate2D>& position) {
    std::optional<Error> failure;
    {
        std::lock_guard lk(mutex_);
        requests_.push_back("+" + region.identifier);
        bool replaces = false;
        for (auto& e : entries_) replaces = replaces || e.region.identifier == region.identifier;
        if (!replaces && entries_.size() >= kMaxRegions)
            failure = Error{std::string(platform::kLocationErrorDomain),
                            platform::kLocationErrorRegionMonitoringFailure, "Too many monitored regions"};
        else if (!region.isBeacon() && !(region.radius <= maximumDistance_))
            failure = Error{std::string(platform::kLocationErrorDomain),
                            platform::kLocationErrorRegionMonitoringFailure, "Region radius too large"};
        if (!failure) {
            std::erase_if(entries_, [&](const Entry& e) { return e.region.identifier == region.identifier; });
            entries_.push_back(Entry{region, insideLocked(region, position)});
        }
    }
    if (failure)
        manager->deliver([region, e = *failure](platform::LocationManagerDelegate& d) {
            d.locationManagerMonitoringDidFail(region, e);
        });
}

void RegionRegistry::stopMonitoring(const std::string& identifier) {
    std::lock_guard lk(mutex_);
    requests_.push_back("-" + identifier);
    std::erase_if(entries_, [&](const Entry& e) { return e.region.identifier == identifier; });
}

void RegionRegistry::requestState(const platform::Region& region,
                                  const std::shared_ptr<SimLocationManager>& manager,
                                  const std::optional<platform::LocationCoordinate2D>& position) {
    platform::RegionState state;
    {
        std::lock_guard lk(mutex_);
        state = !position ? platform::RegionState::Unknown
                          : (insideLocked(region, position) ? platform::RegionState::Inside
                                                            : platform::RegionState::Outside);
    }
    manager->deliver([state, region](platform::LocationManagerDelegate& d) {
        d.locationManagerDidDetermineState(state, region);
    });
}

void RegionRegistry::positionChanged(const std::optional<platform::LocationCoordinate2D>& position) {
    std::vector<std::pair<platform::Region, bool>> reports;
    {
        std::lock_guard lk(mutex_);
        if (!position)
            return;  // nothing known: no region is crossed
        for (auto& e : entries_) {
            bool inside = insideLocked(e.region, position);
            if (inside == e.inside)
                continue;
            e.inside = inside;
            if (inside || e.region.notifyOnExit) {
                crossings_.push_back(Crossing{e.region.identifier, inside});
                reports.emplace_back(e.region, inside);
            }
        }
    }
    for (auto& report : reports)
        broadcast_([region = report.first, entered = report.second](platform::LocationManagerDelegate& d) {
            if (entered)
                d.locationManagerDidEnterRegion(region);
            else
                d.locationManagerDidExitRegion(region);
        });
}

}  // namespace zarn::sim
