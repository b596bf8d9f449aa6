#include "sim/TruePosition.h"

#include "zarn/platform/Platform.h"

namespace zarn::sim {

TruePosition::TruePosition(std::shared_ptr<platform::TimeSource> time) : time_(std::move(time)) {}

TruePosition::~TruePosition() {
    stopRoute();
}

std::optional<platform::LocationCoordinate2D> TruePosition::current() {
    std::lock_guard lk(mutex_);
    return current_;
}

void TruePosition::set(platform::LocationCoordinate2D coordinate) {
    stopRoute();
    moveTo(coordinate);
}

void TruePosition::clear() {
    stopRoute();
    moveTo(std::nullopt);
}

void TruePosition::follow(Route route, double stepSeconds) {
    stopRoute();
    {
        std::lock_guard lk(mutex_);
        route_ = std::move(route);
        routeStart_ = time_->now();
        std::weak_ptr<TruePosition> weak = weak_from_this();
        routeTimer_ = platform::mainRunLoop()->addTimer(stepSeconds, true, [weak] {
            if (auto self = weak.lock())
                self->step();
        });
    }
    step();
}

void TruePosition::stopRoute() {
    std::lock_guard lk(mutex_);
    if (routeTimer_)
        routeTimer_->invalidate();
    routeTimer_.reset();
}

bool TruePosition::followsRoute() {
    std::lock_guard lk(mutex_);
    return routeTimer_ != nullptr;
}

void TruePosition::addListener(Listener listener) {
    std::lock_guard lk(mutex_);
    listeners_.push_back(std::move(listener));
}

void TruePosition::step() {
    std::optional<platform::LocationCoordinate2D> at;
    {
        std::lock_guard lk(mutex_);
        if (!routeTimer_)
            return;
        double elapsed = timeIntervalBetween(time_->now(), routeStart_);
        at = route_.positionAt(route_.waypoints().empty() ? 0 : route_.waypoints().front().seconds + elapsed);
        if (elapsed >= route_.duration()) {
            routeTimer_->invalidate();
            routeTimer_.reset();
        }
    }
    moveTo(at);
}

void TruePosition::moveTo(std::optional<platform::LocationCoordinate2D> coordinate) {
    std::vector<Listener> listeners;
    {
        std::lock_guard lk(mutex_);
        if (current_ == coordinate)
            return;
        current_ = coordinate;
        listeners = listeners_;
    }
    for (auto& l : listeners) l(coordinate);
}

}  // namespace zarn::sim
