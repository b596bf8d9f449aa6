#include "sim/AppLifecycle.h"

#include "sim/Support.h"

namespace zarn::sim {

AppLifecycle::AppLifecycle(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {
    ZARN_SIM_REQUIRE(clock_);
}

AppLifecycle::~AppLifecycle() {
    for (auto& t : timers_) t->invalidate();
}

void AppLifecycle::addObserver(std::weak_ptr<Observer> observer) {
    std::lock_guard lk(mutex_);
    std::erase_if(observers_, [](const std::weak_ptr<Observer>& w) { return w.expired(); });
    observers_.push_back(std::move(observer));
}

platform::ApplicationState AppLifecycle::state() {
    std::lock_guard lk(mutex_);
    return state_;
}

void AppLifecycle::setState(platform::ApplicationState state) {
    std::lock_guard lk(mutex_);
    state_ = state;
    if (state == platform::ApplicationState::Active) {
        endPeriodLocked();
        fixedRemaining_ = kUnlimited;
    }
}

double AppLifecycle::backgroundTimeRemaining() {
    double now = clock_->nowSeconds();
    std::lock_guard lk(mutex_);
    if (deadline_)
        return *deadline_ > now ? *deadline_ - now : 0.0;
    return fixedRemaining_;
}

void AppLifecycle::setBackgroundTimeRemaining(double seconds) {
    std::lock_guard lk(mutex_);
    endPeriodLocked();
    fixedRemaining_ = seconds;
}

void AppLifecycle::enterBackground(double allowedSeconds, double warningSeconds) {
    std::lock_guard lk(mutex_);
    state_ = platform::ApplicationState::Background;
    startPeriodLocked(allowedSeconds,
                      allowedSeconds > warningSeconds ? allowedSeconds - warningSeconds : 0.0);
}

void AppLifecycle::expireBackgroundTime(double secondsLeft) {
    {
        std::lock_guard lk(mutex_);
        startPeriodLocked(secondsLeft, std::nullopt);
        endingAnnounced_ = true;
    }
    for (auto& o : observers()) o->backgroundTimeEnding();
}

bool AppLifecycle::backgroundTimeIsUp() {
    double now = clock_->nowSeconds();
    std::lock_guard lk(mutex_);
    return deadline_ && *deadline_ <= now;
}

bool AppLifecycle::backgroundTimeEndingAnnounced() {
    std::lock_guard lk(mutex_);
    return endingAnnounced_;
}

void AppLifecycle::endPeriodLocked() {
    for (auto& t : timers_) t->invalidate();
    timers_.clear();
    deadline_.reset();
    endingAnnounced_ = false;
    ++period_;
}

void AppLifecycle::startPeriodLocked(double seconds, std::optional<double> warnAfter) {
    endPeriodLocked();
    deadline_ = clock_->nowSeconds() + seconds;
    std::weak_ptr<AppLifecycle> weak = weak_from_this();
    const std::uint64_t period = period_;
    if (warnAfter)
        timers_.push_back(
            clock_->after(*warnAfter, weak, [period](AppLifecycle& self) { self.warningDue(period); }));
    timers_.push_back(clock_->after(seconds, weak, [period](AppLifecycle& self) { self.endDue(period); }));
}

void AppLifecycle::warningDue(std::uint64_t period) {
    {
        std::lock_guard lk(mutex_);
        if (period != period_)
            return;
        endingAnnounced_ = true;
    }
    for (auto& o : observers()) o->backgroundTimeEnding();
}

void AppLifecycle::endDue(std::uint64_t period) {
    {
        std::lock_guard lk(mutex_);
        if (period != period_)
            return;
    }
    for (auto& o : observers()) o->backgroundTimeUp();
}

std::vector<std::shared_ptr<AppLifecycle::Observer>> AppLifecycle::observers() {
    std::lock_guard lk(mutex_);
    std::vector<std::shared_ptr<Observer>> out;
    for (auto& w : observers_)
        if (auto o = w.lock())
            out.push_back(std::move(o));
    return out;
}

}  // namespace zarn::sim
