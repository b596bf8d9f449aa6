#include "sim/FixModel.h"

#include "sim/SimLocationManager.h"
#include "zarn/platform/Platform.h"

namespace zarn::sim {

FixModel::FixModel(std::shared_ptr<platform::TimeSource> time, std::shared_ptr<TruePosition> position)
    : time_(std::move(time)), position_(std::move(position)) {}

FixModel::~FixModel() {
    std::lock_guard lk(mutex_);
    for (auto& [key, s] : sessions_)
        if (s.timer)
            s.timer->invalidate();
}

void FixModel::setFirstFixLatency(double seconds) {
    std::lock_guard lk(mutex_);
    latency_ = seconds;
}

void FixModel::setInterval(double seconds) {
    std::lock_guard lk(mutex_);
    interval_ = seconds > 0 ? seconds : 1.0;
}

void FixModel::setAccuracies(std::vector<double> metres) {
    std::lock_guard lk(mutex_);
    if (!metres.empty())
        accuracies_ = std::move(metres);
}

void FixModel::setNoFix(bool noFix) {
    std::lock_guard lk(mutex_);
    noFix_ = noFix;
}

void FixModel::setFixAge(double seconds) {
    std::lock_guard lk(mutex_);
    age_ = seconds;
}

void FixModel::queueFix(platform::LocationFix fix) {
    std::lock_guard lk(mutex_);
    queued_.push_back(fix);
}

void FixModel::failNext(Error error) {
    std::lock_guard lk(mutex_);
    failNext_ = std::move(error);
}

std::optional<platform::LocationFix> FixModel::fixNow(double accuracy) {
    auto at = position_->current();
    if (!at)
        return std::nullopt;
    platform::LocationFix fix;
    fix.latitude = at->latitude;
    fix.longitude = at->longitude;
    fix.horizontalAccuracy = accuracy;
    fix.verticalAccuracy = 10;
    {
        std::lock_guard lk(mutex_);
        fix.timestamp = dateByAddingTimeInterval(time_->now(), -age_);
    }
    return fix;
}

void FixModel::start(const std::shared_ptr<SimLocationManager>& manager) {
    std::lock_guard lk(mutex_);
    ++starts_;
    auto& s = sessions_[manager.get()];
    if (s.timer)
        return;  // already running: the platform keeps one stream per manager
    s.manager = manager;
    s.delivered = 0;
    std::weak_ptr<FixModel> weak = weak_from_this();
    const SimLocationManager* key = manager.get();
    // The first batch after the latency, the next ones every interval: one repeating timer whose
    // first firing is moved by a one-shot.
    double latency = latency_, interval = interval_;
    auto loop = platform::mainRunLoop();
    // The loop is held weakly: a timer owned by the loop must not keep the loop alive.
    std::weak_ptr<platform::RunLoop> weakLoop = loop;
    s.timer = loop->addTimer(latency, false, [weak, key, interval, weakLoop] {
        auto self = weak.lock();
        auto loop = weakLoop.lock();
        if (!self || !loop)
            return;
        {
            std::lock_guard lk(self->mutex_);
            auto it = self->sessions_.find(key);
            if (it == self->sessions_.end())
                return;
            it->second.timer = loop->addTimer(interval, true, [weak, key] {
                if (auto s = weak.lock())
                    s->batch(key);
            });
        }
        self->batch(key);
    });
}

void FixModel::stop(const SimLocationManager* manager) {
    std::lock_guard lk(mutex_);
    auto it = sessions_.find(manager);
    if (it == sessions_.end())
        return;
    ++stops_;
    if (it->second.timer)
        it->second.timer->invalidate();
    sessions_.erase(it);
}

int FixModel::startCount() {
    std::lock_guard lk(mutex_);
    return starts_;
}

int FixModel::stopCount() {
    std::lock_guard lk(mutex_);
    return stops_;
}

bool FixModel::isRunning() {
    std::lock_guard lk(mutex_);
    return !sessions_.empty();
}

void FixModel::batch(const SimLocationManager* key) {
    std::shared_ptr<SimLocationManager> manager;
    std::optional<platform::LocationFix> fix;
    std::optional<Error> error;
    double accuracy = 0;
    {
        std::lock_guard lk(mutex_);
        auto it = sessions_.find(key);
        if (it == sessions_.end())
            return;
        manager = it->second.manager.lock();
        if (!manager)
            return;
        if (failNext_) {
            error = std::move(failNext_);
            failNext_.reset();
        } else if (!queued_.empty()) {
            fix = queued_.front();
            queued_.pop_front();
        } else if (noFix_) {
            return;
        } else {
            size_t n = it->second.delivered++;
            accuracy = accuracies_[n < accuracies_.size() ? n : accuracies_.size() - 1];
        }
    }
    if (error) {
        manager->deliver(
            [e = *error](platform::LocationManagerDelegate& d) { d.locationManagerDidFailWithError(e); });
        return;
    }
    if (!fix)
        fix = fixNow(accuracy);
    if (!fix)
        return;
    manager->deliver(
        [f = *fix](platform::LocationManagerDelegate& d) { d.locationManagerDidUpdateLocations({f}); });
}

}  // namespace zarn::sim
