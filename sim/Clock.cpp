#include "sim/Clock.h"

#include "sim/Support.h"
#include "zarn/platform/Platform.h"

namespace zarn::sim {

Clock::Clock(std::shared_ptr<platform::TimeSource> time) : time_(std::move(time)) {
    ZARN_SIM_REQUIRE(time_);
}

Date Clock::now() {
    return time_->now();
}

double Clock::nowSeconds() {
    return timeIntervalSince1970(now());
}

void Clock::post(std::function<void()> task) {
    platform::mainRunLoop()->post(std::move(task));
}

std::shared_ptr<platform::Timer> Clock::after(double seconds, std::function<void()> callback) {
    return platform::mainRunLoop()->addTimer(seconds, false, std::move(callback));
}

}  // namespace zarn::sim
