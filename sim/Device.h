#pragma once
// The simulated device: one deterministic world that implements the device-only interfaces of
// the platform seam. Tests and the example host drive it and read back what the library asked
// of it. Every method is safe from any thread.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/Platform.h"
#include "platform/SystemInfo.h"

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

class Device final : public platform::DeviceInfo,
                     public platform::AlertPresenter,
                     public platform::Application,
                     public std::enable_shared_from_this<Device> {
public:
    Device();

    // platform::DeviceInfo
    std::string systemVersion() override;
    void setSystemVersion(std::string version);

    // platform::AlertPresenter
    void showAlert(const std::string& title, const std::string& message,
                   const std::vector<std::string>& buttons) override;
    std::vector<Alert> alerts();

    // platform::Application
    platform::ApplicationState applicationState() override;
    double backgroundTimeRemaining() override;
    void setApplicationState(platform::ApplicationState state);
    void setBackgroundTimeRemaining(double seconds);

    const std::shared_ptr<SimBundle>& mainBundle() const { return mainBundle_; }
    const std::shared_ptr<SimBundle>& libraryBundle() const { return libraryBundle_; }

    // Fills the device-only services of `services` with this device.
    void provide(platform::Services& services);

private:
    std::mutex mutex_;
    std::string systemVersion_ = "16.4";
    std::vector<Alert> alerts_;
    platform::ApplicationState state_ = platform::ApplicationState::Active;
    double backgroundTimeRemaining_ = 1.7976931348623157e308;
    std::shared_ptr<SimBundle> mainBundle_ = std::make_shared<SimBundle>();
    std::shared_ptr<SimBundle> libraryBundle_ = std::make_shared<SimBundle>();
};

}  // namespace zarn::sim
