#pragma once
// The simulated device: one deterministic world that implements the device-only interfaces of
// the platform seam. Tests and the example host drive it and read back what the library asked
// of it. Every method is safe from any thread.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "zarn/platform/Application.h"
#include "zarn/platform/BackgroundTasks.h"
#include "zarn/platform/Battery.h"
#include "zarn/platform/DeviceHardware.h"
#include "zarn/platform/LocationAuthorization.h"
#include "zarn/platform/NotificationAuthorization.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/Reachability.h"
#include "zarn/platform/RuntimeClasses.h"
#include "zarn/platform/SystemInfo.h"
#include "zarn/platform/TrackingAuthorization.h"

namespace zarn::sim {

struct Alert {
    std::string title;
    std::string message;
    std::vector<std::string> buttons;
};

class Device;

// An app bundle whose information values and resource files the test sets.
class SimBundle final : public platform::Bundle {
  public:
    std::optional<Value> infoValue(const std::string& key) override;
    std::optional<std::string> pathForResource(const std::string& name) override;
    void setInfoValue(const std::string& key, std::optional<Value> value);
    void setResourcePath(const std::string& name, std::optional<std::string> path);

  private:
    std::mutex mutex_;
    std::map<std::string, Value> info_;
    std::map<std::string, std::string> resources_;
};

// Keeps what the library reported to the crash reporter.
class RecordingCrashReporter final : public platform::CrashReporter {
  public:
    void setUserIdentifier(const std::string& identifier) override;
    void recordError(const Error& error) override;
    std::optional<std::string> userIdentifier();
    std::vector<Error> errors();

  private:
    std::mutex mutex_;
    std::optional<std::string> userIdentifier_;
    std::vector<Error> errors_;
};

// One background task as the simulated system sees it.
struct SimBackgroundTask {
    platform::BackgroundTaskIdentifier identifier = platform::kBackgroundTaskInvalid;
    bool ended = false;
    bool expirationAnnounced = false;
    // Set when background time ran out while the task was still running: a real system would
    // have ended the process.
    bool overdue = false;
};

class Device final : public platform::DeviceInfo,
                     public platform::AlertPresenter,
                     public platform::Application,
                     public platform::BackgroundTasks,
                     public platform::DeviceHardware,
                     public platform::Battery,
                     public platform::Reachability,
                     public platform::LocationAuthorization,
                     public platform::NotificationAuthorization,
                     public platform::TrackingAuthorization,
                     public platform::RuntimeClasses,
                     public std::enable_shared_from_this<Device> {
  public:
    Device();
    ~Device() override;

    // platform::DeviceInfo
    std::string systemVersion() override;
    void setSystemVersion(std::string version);

    // platform::AlertPresenter
    void showAlert(const std::string& title, const std::string& message,
                   const std::vector<std::string>& buttons) override;
    std::vector<Alert> alerts();

    // platform::Application
    platform::ApplicationState applicationState() override;
    // The fixed value set last, or, while a background period runs, the time left until its end.
    double backgroundTimeRemaining() override;
    // Going active ends a running background period (time left is unlimited again).
    void setApplicationState(platform::ApplicationState state);
    // A fixed answer; ends a running background period.
    void setBackgroundTimeRemaining(double seconds);
    // What the system does when the user switches apps, on the main thread: the app goes active
    // and "did become active" is posted on the default centre; or "will resign active" is
    // posted and the app then is in the background.
    void becomeActive();
    void resignActive();

    // platform::BackgroundTasks. Identifiers count up from 1.
    platform::BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler) override;
    void endBackgroundTask(platform::BackgroundTaskIdentifier identifier) override;
    std::optional<platform::BackgroundRefreshStatus> backgroundRefreshStatus() override;
    // Nothing: a system without the setting.
    void setBackgroundRefreshStatus(std::optional<platform::BackgroundRefreshStatus> status);
    // While set, beginBackgroundTask grants nothing.
    void setRefusesBackgroundTasks(bool refuses);

    // Puts the app in the background with `allowedSeconds` of background time, which then runs
    // down with (virtual) time. `warningSeconds` before the end the expiration handlers of the
    // running tasks are called on the main thread; tasks still running at the end are marked
    // overdue. Works through timers of the main run loop.
    void enterBackground(double allowedSeconds, double warningSeconds = 5.0);
    // Background time runs out now: `secondsLeft` remain, and the expiration handler of every
    // running task is queued on the main run loop (run it with advanceBy or runUntilIdle). Tasks
    // still running when the time is up are marked overdue.
    void expireBackgroundTime(double secondsLeft);

    // What the library did with background tasks.
    std::vector<platform::BackgroundTaskIdentifier> begunBackgroundTasks();
    // Every end call, in order, including repeated or unknown ones.
    std::vector<platform::BackgroundTaskIdentifier> endBackgroundTaskCalls();
    std::vector<platform::BackgroundTaskIdentifier> runningBackgroundTasks();
    std::vector<platform::BackgroundTaskIdentifier> overdueBackgroundTasks();
    // End calls for identifiers that were unknown or already ended.
    int invalidEndBackgroundTaskCalls();
    std::optional<SimBackgroundTask> backgroundTask(platform::BackgroundTaskIdentifier identifier);

    // platform::DeviceHardware
    std::optional<std::string> machine() override;
    std::string model() override;
    std::string systemName() override;
    std::optional<std::string> identifierForVendor() override;
    void setMachine(std::optional<std::string> machine);
    void setModel(std::string model);
    void setSystemName(std::string name);
    void setIdentifierForVendor(std::optional<std::string> identifier);

    // platform::Battery
    bool isBatteryMonitoringEnabled() override;
    void setBatteryMonitoringEnabled(bool enabled) override;
    double batteryLevel() override;
    platform::BatteryState batteryState() override;
    // The true charge and state; the library sees them only while monitoring is on.
    void setBattery(double level, platform::BatteryState state);
    int batteryMonitoringSwitches();

    // platform::Reachability
    std::optional<std::uint32_t> flagsForHostName(const std::string& hostName) override;
    // Nothing: the flags cannot be read.
    void setReachabilityFlags(std::optional<std::uint32_t> flags);
    std::vector<std::string> reachabilityQueries();

    // platform::LocationAuthorization
    bool locationServicesEnabled() override;
    platform::LocationAuthorizationStatus authorizationStatus() override;
    platform::LocationAccuracyAuthorization accuracyAuthorization() override;
    bool significantLocationChangeMonitoringAvailable() override;
    bool regionMonitoringAvailable() override;
    void setLocationServicesEnabled(bool enabled);
    void setLocationAuthorizationStatus(platform::LocationAuthorizationStatus status);
    void setAccuracyAuthorization(platform::LocationAccuracyAuthorization accuracy);
    void setSignificantLocationChangeMonitoringAvailable(bool available);
    void setRegionMonitoringAvailable(bool available);

    // platform::NotificationAuthorization: answers on the main run loop, after the call returns.
    void getNotificationSettings(
        std::function<void(platform::NotificationAuthorizationStatus)> completion) override;
    void setNotificationAuthorizationStatus(platform::NotificationAuthorizationStatus status);
    int notificationSettingsRequests();

    // platform::TrackingAuthorization
    platform::TrackingAuthorizationStatus trackingAuthorizationStatus() override;
    void setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus status);

    // platform::RuntimeClasses
    bool classExists(const std::string& name) override;
    void addClass(const std::string& name);
    void removeClass(const std::string& name);

    const std::shared_ptr<SimBundle>& mainBundle() const { return mainBundle_; }
    const std::shared_ptr<SimBundle>& libraryBundle() const { return libraryBundle_; }

    // Fills the device-only services of `services` with this device.
    void provide(platform::Services& services);

  private:
    struct TaskRecord {
        SimBackgroundTask task;
        std::function<void()> handler;
    };

    double nowSeconds();
    void endBackgroundPeriodLocked();
    void scheduleDeadlineLocked(double seconds);
    void announceExpiry();
    void deadlineReached();

    std::mutex mutex_;
    std::string systemVersion_ = "16.4";
    std::vector<Alert> alerts_;
    platform::ApplicationState state_ = platform::ApplicationState::Active;
    double backgroundTimeRemaining_ = 1.7976931348623157e308;

    // Background tasks and the background period.
    platform::BackgroundTaskIdentifier nextTaskId_ = 1;
    std::map<platform::BackgroundTaskIdentifier, TaskRecord> tasks_;
    std::vector<platform::BackgroundTaskIdentifier> begun_;
    std::vector<platform::BackgroundTaskIdentifier> endCalls_;
    int invalidEnds_ = 0;
    bool refusesTasks_ = false;
    std::optional<platform::BackgroundRefreshStatus> refreshStatus_ =
        platform::BackgroundRefreshStatus::Available;
    std::optional<double> deadline_;  // seconds since 1970 when background time is up
    bool expiryAnnounced_ = false;
    std::vector<std::shared_ptr<platform::Timer>> periodTimers_;

    std::optional<std::string> machine_ = std::string("iPhone15,2");
    std::string model_ = "iPhone";
    std::string systemName_ = "iOS";
    std::optional<std::string> identifierForVendor_ = std::string("6F1C0B7E-3D2A-4C5B-9E8F-0A1B2C3D4E5F");

    bool batteryMonitoring_ = false;
    int batteryMonitoringSwitches_ = 0;
    double batteryLevel_ = 0.8;
    platform::BatteryState batteryState_ = platform::BatteryState::Unplugged;

    std::optional<std::uint32_t> reachabilityFlags_ = platform::kReachabilityFlagReachable;
    std::vector<std::string> reachabilityQueries_;

    bool locationServicesEnabled_ = true;
    platform::LocationAuthorizationStatus locationStatus_ =
        platform::LocationAuthorizationStatus::AuthorizedAlways;
    platform::LocationAccuracyAuthorization accuracy_ = platform::LocationAccuracyAuthorization::FullAccuracy;
    bool slcAvailable_ = true;
    bool regionMonitoringAvailable_ = true;

    platform::NotificationAuthorizationStatus notificationStatus_ =
        platform::NotificationAuthorizationStatus::Authorized;
    int notificationSettingsRequests_ = 0;

    platform::TrackingAuthorizationStatus trackingStatus_ =
        platform::TrackingAuthorizationStatus::NotDetermined;

    std::set<std::string> classes_;

    std::shared_ptr<SimBundle> mainBundle_ = std::make_shared<SimBundle>();
    std::shared_ptr<SimBundle> libraryBundle_ = std::make_shared<SimBundle>();
};

}  // namespace zarn::sim
