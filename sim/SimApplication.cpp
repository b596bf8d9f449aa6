#include "sim/SimApplication.h"

#include "sim/Support.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/Platform.h"

namespace zarn::sim {

SimApplication::SimApplication(std::shared_ptr<World> world) : world_(std::move(world)) {
    ZARN_SIM_REQUIRE(world_);
}

platform::ApplicationState SimApplication::applicationState() {
    return world_->lifecycle().state();
}

double SimApplication::backgroundTimeRemaining() {
    return world_->lifecycle().backgroundTimeRemaining();
}

void SimApplication::setApplicationState(platform::ApplicationState state) {
    world_->lifecycle().setState(state);
}

void SimApplication::setBackgroundTimeRemaining(double seconds) {
    world_->lifecycle().setBackgroundTimeRemaining(seconds);
}

void SimApplication::becomeActive() {
    setApplicationState(platform::ApplicationState::Active);
    platform::defaultCenter()->post(platform::kApplicationDidBecomeActiveNotification);
}

void SimApplication::resignActive() {
    platform::defaultCenter()->post(platform::kApplicationWillResignActiveNotification);
    setApplicationState(platform::ApplicationState::Background);
}

void SimApplication::enterForeground() {
    platform::defaultCenter()->post(platform::kApplicationWillEnterForegroundNotification);
    becomeActive();
}

void SimApplication::enterBackgroundFromForeground() {
    resignActive();
    platform::defaultCenter()->post(platform::kApplicationDidEnterBackgroundNotification);
}

void SimApplication::enterBackground(double allowedSeconds, double warningSeconds) {
    world_->lifecycle().enterBackground(allowedSeconds, warningSeconds);
}

void SimApplication::expireBackgroundTime(double secondsLeft) {
    world_->lifecycle().expireBackgroundTime(secondsLeft);
}

}  // namespace zarn::sim
