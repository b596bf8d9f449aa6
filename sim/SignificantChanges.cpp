#include "sim/SignificantChanges.h"

#include <vector>

#include "sim/SimLocationManager.h"
#include "sim/Support.h"

namespace zarn::sim {

SignificantChanges::SignificantChanges(std::shared_ptr<FixModel> fixes) : fixes_(std::move(fixes)) {}

void SignificantChanges::setThreshold(double metres) {
    std::lock_guard lk(mutex_);
    threshold_ = metres;
}

void SignificantChanges::setAccuracy(double metres) {
    std::lock_guard lk(mutex_);
    accuracy_ = metres;
}

int SignificantChanges::deliveries() {
    std::lock_guard lk(mutex_);
    return deliveries_;
}

bool SignificantChanges::isMonitoring() {
    std::lock_guard lk(mutex_);
    return !sessions_.empty();
}

void SignificantChanges::start(const std::shared_ptr<SimLocationManager>& manager,
                               std::optional<platform::LocationCoordinate2D> position) {
    std::lock_guard lk(mutex_);
    auto& s = sessions_[manager.get()];
    s.manager = manager;
    s.reference = position;
}

void SignificantChanges::stop(const SimLocationManager* manager) {
    std::lock_guard lk(mutex_);
    sessions_.erase(manager);
}

void SignificantChanges::trigger() {
    std::vector<std::shared_ptr<SimLocationManager>> targets;
    {
        std::lock_guard lk(mutex_);
        for (auto& [key, s] : sessions_)
            if (auto m = s.manager.lock())
                targets.push_back(m);
    }
    for (auto& m : targets) deliverTo(m);
}

void SignificantChanges::positionChanged(const std::optional<platform::LocationCoordinate2D>& position) {
    if (!position)
        return;
    std::vector<std::shared_ptr<SimLocationManager>> targets;
    {
        std::lock_guard lk(mutex_);
        for (auto& [key, s] : sessions_) {
            auto m = s.manager.lock();
            if (!m)
                continue;
            if (!s.reference) {
                s.reference = position;
                continue;
            }
            if (distanceMetres(*s.reference, *position) >= threshold_) {
                s.reference = position;
                targets.push_back(m);
            }
        }
    }
    for (auto& m : targets) deliverTo(m);
}

void SignificantChanges::deliverTo(const std::shared_ptr<SimLocationManager>& manager) {
    double accuracy;
    {
        std::lock_guard lk(mutex_);
        accuracy = accuracy_;
    }
    auto fix = fixes_->fixNow(accuracy);
    if (!fix)
        return;
    {
        std::lock_guard lk(mutex_);
        ++deliveries_;
        auto it = sessions_.find(manager.get());
        if (it != sessions_.end())
            it->second.reference = fix->coordinate();
    }
    manager->deliver(
        [f = *fix](platform::LocationManagerDelegate& d) { d.locationManagerDidUpdateLocations({f}); });
}

}  // namespace zarn::sim
