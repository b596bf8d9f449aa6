#include "sim/Device.h"

namespace zarn::sim {

std::optional<Value> SimBundle::infoValue(const std::string& key) {
    std::lock_guard lk(mutex_);
    auto it = info_.find(key);
    if (it == info_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> SimBundle::pathForResource(const std::string& name) {
    std::lock_guard lk(mutex_);
    auto it = resources_.find(name);
    if (it == resources_.end()) return std::nullopt;
    return it->second;
}

void SimBundle::setInfoValue(const std::string& key, std::optional<Value> value) {
    std::lock_guard lk(mutex_);
    if (value)
        info_[key] = *value;
    else
        info_.erase(key);
}

void SimBundle::setResourcePath(const std::string& name, std::optional<std::string> path) {
    std::lock_guard lk(mutex_);
    if (path)
        resources_[name] = *path;
    else
        resources_.erase(name);
}

void RecordingCrashReporter::setUserIdentifier(const std::string& identifier) {
    std::lock_guard lk(mutex_);
    userIdentifier_ = identifier;
}

void RecordingCrashReporter::recordError(const Error& error) {
    std::lock_guard lk(mutex_);
    errors_.push_back(error);
}

std::optional<std::string> RecordingCrashReporter::userIdentifier() {
    std::lock_guard lk(mutex_);
    return userIdentifier_;
}

std::vector<Error> RecordingCrashReporter::errors() {
    std::lock_guard lk(mutex_);
    return errors_;
}

Device::Device() {
    mainBundle_->setInfoValue("CFBundleDisplayName", Value("Sample App"));
    mainBundle_->setInfoValue("NSLocationAlwaysUsageDescription", Value("Shows offers near you."));
}

std::string Device::systemVersion() {
    std::lock_guard lk(mutex_);
    return systemVersion_;
}

void Device::setSystemVersion(std::string version) {
    std::lock_guard lk(mutex_);
    systemVersion_ = std::move(version);
}

void Device::showAlert(const std::string& title, const std::string& message,
                       const std::vector<std::string>& buttons) {
    std::lock_guard lk(mutex_);
    alerts_.push_back({title, message, buttons});
}

std::vector<Alert> Device::alerts() {
    std::lock_guard lk(mutex_);
    return alerts_;
}

platform::ApplicationState Device::applicationState() {
    std::lock_guard lk(mutex_);
    return state_;
}

double Device::backgroundTimeRemaining() {
    std::lock_guard lk(mutex_);
    return backgroundTimeRemaining_;
}

void Device::setApplicationState(platform::ApplicationState state) {
    std::lock_guard lk(mutex_);
    state_ = state;
}

void Device::setBackgroundTimeRemaining(double seconds) {
    std::lock_guard lk(mutex_);
    backgroundTimeRemaining_ = seconds;
}

void Device::provide(platform::Services& services) {
    auto self = shared_from_this();
    services.deviceInfo = self;
    services.alertPresenter = self;
    services.application = self;
    services.mainBundle = mainBundle_;
    services.libraryBundle = libraryBundle_;
}

}  // namespace zarn::sim
