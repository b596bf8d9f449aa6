#include "sim/Device.h"
#include "zarn/Value.h"

namespace zarn::sim {

std::optional<Value> SimBundle::infoValue(const std::string& key) {
    std::lock_guard lk(mutex_);
    auto it = info_.find(key);
    if (it == info_.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::string> SimBundle::pathForResource(const std::string& name) {
    std::lock_guard lk(mutex_);
    auto it = resources_.find(name);
    if (it == resources_.end())
        return std::nullopt;
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
    mainBundle_->setInfoValue("CFBundleVersion", Value("1.0"));
    mainBundle_->setInfoValue("NSLocationAlwaysUsageDescription", Value("Shows offers near you."));
}

Device::~Device() {
    for (auto& t : periodTimers_) t->invalidate();
}

double Device::nowSeconds() {
    return timeIntervalSince1970(platform::timeSource()->now());
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
    double now = nowSeconds();
    std::lock_guard lk(mutex_);
    if (deadline_)
        return *deadline_ > now ? *deadline_ - now : 0.0;
    return backgroundTimeRemaining_;
}

void Device::setApplicationState(platform::ApplicationState state) {
    std::lock_guard lk(mutex_);
    state_ = state;
    if (state == platform::ApplicationState::Active) {
        endBackgroundPeriodLocked();
        backgroundTimeRemaining_ = 1.7976931348623157e308;
    }
}

void Device::becomeActive() {
    setApplicationState(platform::ApplicationState::Active);
    platform::defaultCenter()->post(platform::kApplicationDidBecomeActiveNotification);
}

void Device::resignActive() {
    platform::defaultCenter()->post(platform::kApplicationWillResignActiveNotification);
    setApplicationState(platform::ApplicationState::Background);
}

void Device::setBackgroundTimeRemaining(double seconds) {
    std::lock_guard lk(mutex_);
    endBackgroundPeriodLocked();
    backgroundTimeRemaining_ = seconds;
}

// --- Background tasks

platform::BackgroundTaskIdentifier Device::beginBackgroundTask(std::function<void()> expirationHandler) {
    double now = nowSeconds();
    platform::BackgroundTaskIdentifier id;
    bool announceNow;
    {
        std::lock_guard lk(mutex_);
        if (refusesTasks_ || (deadline_ && *deadline_ <= now))
            return platform::kBackgroundTaskInvalid;
        id = nextTaskId_++;
        TaskRecord record;
        record.task.identifier = id;
        record.handler = std::move(expirationHandler);
        tasks_[id] = std::move(record);
        begun_.push_back(id);
        announceNow = expiryAnnounced_;
    }
    // A task begun after the warning hears it at once, as the system would tell it.
    if (announceNow)
        announceExpiry();
    return id;
}

void Device::endBackgroundTask(platform::BackgroundTaskIdentifier identifier) {
    std::lock_guard lk(mutex_);
    endCalls_.push_back(identifier);
    auto it = tasks_.find(identifier);
    if (it == tasks_.end() || it->second.task.ended) {
        ++invalidEnds_;
        return;
    }
    it->second.task.ended = true;
    it->second.handler = nullptr;
}

std::optional<platform::BackgroundRefreshStatus> Device::backgroundRefreshStatus() {
    std::lock_guard lk(mutex_);
    return refreshStatus_;
}

void Device::setBackgroundRefreshStatus(std::optional<platform::BackgroundRefreshStatus> status) {
    std::lock_guard lk(mutex_);
    refreshStatus_ = status;
}

void Device::setRefusesBackgroundTasks(bool refuses) {
    std::lock_guard lk(mutex_);
    refusesTasks_ = refuses;
}

void Device::endBackgroundPeriodLocked() {
    for (auto& t : periodTimers_) t->invalidate();
    periodTimers_.clear();
    deadline_.reset();
    expiryAnnounced_ = false;
}

void Device::scheduleDeadlineLocked(double seconds) {
    std::weak_ptr<Device> weak = weak_from_this();
    periodTimers_.push_back(platform::mainRunLoop()->addTimer(seconds, false, [weak] {
        if (auto self = weak.lock())
            self->deadlineReached();
    }));
}

void Device::enterBackground(double allowedSeconds, double warningSeconds) {
    double now = nowSeconds();
    std::lock_guard lk(mutex_);
    endBackgroundPeriodLocked();
    state_ = platform::ApplicationState::Background;
    deadline_ = now + allowedSeconds;
    double warnAfter = allowedSeconds > warningSeconds ? allowedSeconds - warningSeconds : 0.0;
    std::weak_ptr<Device> weak = weak_from_this();
    periodTimers_.push_back(platform::mainRunLoop()->addTimer(warnAfter, false, [weak] {
        if (auto self = weak.lock())
            self->announceExpiry();
    }));
    scheduleDeadlineLocked(allowedSeconds);
}

void Device::expireBackgroundTime(double secondsLeft) {
    double now = nowSeconds();
    {
        std::lock_guard lk(mutex_);
        endBackgroundPeriodLocked();
        deadline_ = now + secondsLeft;
        scheduleDeadlineLocked(secondsLeft);
    }
    announceExpiry();
}

void Device::announceExpiry() {
    std::vector<platform::BackgroundTaskIdentifier> due;
    {
        std::lock_guard lk(mutex_);
        expiryAnnounced_ = true;
        for (auto& [id, record] : tasks_) {
            if (record.task.ended || record.task.expirationAnnounced)
                continue;
            record.task.expirationAnnounced = true;
            due.push_back(id);
        }
    }
    // The system calls each handler on the main thread, and never for a task already ended.
    std::weak_ptr<Device> weak = weak_from_this();
    for (auto id : due) {
        platform::mainRunLoop()->post([weak, id] {
            auto self = weak.lock();
            if (!self)
                return;
            std::function<void()> handler;
            {
                std::lock_guard lk(self->mutex_);
                auto it = self->tasks_.find(id);
                if (it == self->tasks_.end() || it->second.task.ended)
                    return;
                handler = it->second.handler;
            }
            if (handler)
                handler();
        });
    }
}

void Device::deadlineReached() {
    std::lock_guard lk(mutex_);
    for (auto& [id, record] : tasks_)
        if (!record.task.ended)
            record.task.overdue = true;
}

std::vector<platform::BackgroundTaskIdentifier> Device::begunBackgroundTasks() {
    std::lock_guard lk(mutex_);
    return begun_;
}

std::vector<platform::BackgroundTaskIdentifier> Device::endBackgroundTaskCalls() {
    std::lock_guard lk(mutex_);
    return endCalls_;
}

std::vector<platform::BackgroundTaskIdentifier> Device::runningBackgroundTasks() {
    std::lock_guard lk(mutex_);
    std::vector<platform::BackgroundTaskIdentifier> out;
    for (auto& [id, record] : tasks_)
        if (!record.task.ended)
            out.push_back(id);
    return out;
}

std::vector<platform::BackgroundTaskIdentifier> Device::overdueBackgroundTasks() {
    std::lock_guard lk(mutex_);
    std::vector<platform::BackgroundTaskIdentifier> out;
    for (auto& [id, record] : tasks_)
        if (record.task.overdue)
            out.push_back(id);
    return out;
}

int Device::invalidEndBackgroundTaskCalls() {
    std::lock_guard lk(mutex_);
    return invalidEnds_;
}

std::optional<SimBackgroundTask> Device::backgroundTask(platform::BackgroundTaskIdentifier identifier) {
    std::lock_guard lk(mutex_);
    auto it = tasks_.find(identifier);
    if (it == tasks_.end())
        return std::nullopt;
    return it->second.task;
}

// --- Hardware

std::optional<std::string> Device::machine() {
    std::lock_guard lk(mutex_);
    return machine_;
}

std::string Device::model() {
    std::lock_guard lk(mutex_);
    return model_;
}

std::string Device::systemName() {
    std::lock_guard lk(mutex_);
    return systemName_;
}

std::optional<std::string> Device::identifierForVendor() {
    std::lock_guard lk(mutex_);
    return identifierForVendor_;
}

void Device::setMachine(std::optional<std::string> machine) {
    std::lock_guard lk(mutex_);
    machine_ = std::move(machine);
}

void Device::setModel(std::string model) {
    std::lock_guard lk(mutex_);
    model_ = std::move(model);
}

void Device::setSystemName(std::string name) {
    std::lock_guard lk(mutex_);
    systemName_ = std::move(name);
}

void Device::setIdentifierForVendor(std::optional<std::string> identifier) {
    std::lock_guard lk(mutex_);
    identifierForVendor_ = std::move(identifier);
}

// --- Battery

bool Device::isBatteryMonitoringEnabled() {
    std::lock_guard lk(mutex_);
    return batteryMonitoring_;
}

void Device::setBatteryMonitoringEnabled(bool enabled) {
    std::lock_guard lk(mutex_);
    if (batteryMonitoring_ != enabled)
        ++batteryMonitoringSwitches_;
    batteryMonitoring_ = enabled;
}

double Device::batteryLevel() {
    std::lock_guard lk(mutex_);
    return batteryMonitoring_ ? batteryLevel_ : -1.0;
}

platform::BatteryState Device::batteryState() {
    std::lock_guard lk(mutex_);
    return batteryMonitoring_ ? batteryState_ : platform::BatteryState::Unknown;
}

void Device::setBattery(double level, platform::BatteryState state) {
    std::lock_guard lk(mutex_);
    batteryLevel_ = level;
    batteryState_ = state;
}

int Device::batteryMonitoringSwitches() {
    std::lock_guard lk(mutex_);
    return batteryMonitoringSwitches_;
}

// --- Reachability

std::optional<std::uint32_t> Device::flagsForHostName(const std::string& hostName) {
    std::lock_guard lk(mutex_);
    reachabilityQueries_.push_back(hostName);
    return reachabilityFlags_;
}

void Device::setReachabilityFlags(std::optional<std::uint32_t> flags) {
    std::lock_guard lk(mutex_);
    reachabilityFlags_ = flags;
}

std::vector<std::string> Device::reachabilityQueries() {
    std::lock_guard lk(mutex_);
    return reachabilityQueries_;
}

// --- Location authorisation

bool Device::locationServicesEnabled() {
    std::lock_guard lk(mutex_);
    return locationServicesEnabled_;
}

platform::LocationAuthorizationStatus Device::authorizationStatus() {
    std::lock_guard lk(mutex_);
    return locationStatus_;
}

platform::LocationAccuracyAuthorization Device::accuracyAuthorization() {
    std::lock_guard lk(mutex_);
    return accuracy_;
}

bool Device::significantLocationChangeMonitoringAvailable() {
    std::lock_guard lk(mutex_);
    return slcAvailable_;
}

bool Device::regionMonitoringAvailable() {
    std::lock_guard lk(mutex_);
    return regionMonitoringAvailable_;
}

void Device::setLocationServicesEnabled(bool enabled) {
    std::lock_guard lk(mutex_);
    locationServicesEnabled_ = enabled;
}

void Device::setLocationAuthorizationStatus(platform::LocationAuthorizationStatus status) {
    std::lock_guard lk(mutex_);
    locationStatus_ = status;
}

void Device::setAccuracyAuthorization(platform::LocationAccuracyAuthorization accuracy) {
    std::lock_guard lk(mutex_);
    accuracy_ = accuracy;
}

void Device::setSignificantLocationChangeMonitoringAvailable(bool available) {
    std::lock_guard lk(mutex_);
    slcAvailable_ = available;
}

void Device::setRegionMonitoringAvailable(bool available) {
    std::lock_guard lk(mutex_);
    regionMonitoringAvailable_ = available;
}

// --- Notification authorisation

void Device::getNotificationSettings(
    std::function<void(platform::NotificationAuthorizationStatus)> completion) {
    platform::NotificationAuthorizationStatus status;
    {
        std::lock_guard lk(mutex_);
        ++notificationSettingsRequests_;
        status = notificationStatus_;
    }
    if (!completion)
        return;
    platform::mainRunLoop()->post([completion = std::move(completion), status] { completion(status); });
}

void Device::setNotificationAuthorizationStatus(platform::NotificationAuthorizationStatus status) {
    std::lock_guard lk(mutex_);
    notificationStatus_ = status;
}

int Device::notificationSettingsRequests() {
    std::lock_guard lk(mutex_);
    return notificationSettingsRequests_;
}

// --- Tracking authorisation

platform::TrackingAuthorizationStatus Device::trackingAuthorizationStatus() {
    std::lock_guard lk(mutex_);
    return trackingStatus_;
}

void Device::setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus status) {
    std::lock_guard lk(mutex_);
    trackingStatus_ = status;
}

// --- Linked classes

bool Device::classExists(const std::string& name) {
    std::lock_guard lk(mutex_);
    return classes_.count(name) > 0;
}

void Device::addClass(const std::string& name) {
    std::lock_guard lk(mutex_);
    classes_.insert(name);
}

void Device::removeClass(const std::string& name) {
    std::lock_guard lk(mutex_);
    classes_.erase(name);
}

void Device::provide(platform::Services& services) {
    auto self = shared_from_this();
    services.deviceInfo = self;
    services.alertPresenter = self;
    services.application = self;
    services.backgroundTasks = self;
    services.deviceHardware = self;
    services.battery = self;
    services.reachability = self;
    services.locationAuthorization = self;
    services.notificationAuthorization = self;
    services.trackingAuthorization = self;
    services.runtimeClasses = self;
    services.mainBundle = mainBundle_;
    services.libraryBundle = libraryBundle_;
}

}  // namespace zarn::sim
