#pragma once
// Stand-ins for the services' collaborators: device answers given at once on the caller's
// thread, and events recorded instead of stored.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/ZarnPContext.h"
#include "device/system/ZarnPDeviceDataDao.h"
#include "device/system/ZarnPLocationManagerCreator.h"
#include "device/system/ZarnPNotificationsEnabledCallback.h"
#include "services/ZarnPEventLogging.h"
#include "zarn/Value.h"

namespace zarn::test {

struct RecordedEvent {
    unsigned type = 0;
    Value extra;
    std::shared_ptr<ZarnPContext> context;
};

class RecordingEventLogging final : public ZarnPEventLogging {
  public:
    void logEventWithType(unsigned type, const Value& extra,
                          const std::shared_ptr<ZarnPContext>& context) override {
        std::lock_guard lk(mutex_);
        events_.push_back({type, extra, context});
    }
    std::vector<RecordedEvent> events() {
        std::lock_guard lk(mutex_);
        return events_;
    }
    std::vector<RecordedEvent> ofType(unsigned type) {
        std::vector<RecordedEvent> out;
        for (auto& e : events())
            if (e.type == type)
                out.push_back(e);
        return out;
    }

  private:
    std::mutex mutex_;
    std::vector<RecordedEvent> events_;
};

// Every answer is a field the test sets; the asynchronous answers come at once.
class FakeDeviceDataDao final : public ZarnPDeviceDataDao {
  public:
    std::optional<std::string> hardwareModel() override { return model; }
    std::optional<std::string> platformVersion() override { return version; }
    std::string framework() override { return frameworkName; }
    std::optional<std::string> frameworkVersion() override { return frameworkVer; }
    std::optional<std::string> appName() override { return name; }
    std::optional<std::string> appVersion() override { return appVer; }
    bool locationServicesEnabled() override { return locationOn; }
    bool accurateLocationEnabled() override { return accurate; }
    void backgroundExecutionEnabled(std::function<void(bool)> block) override { block(background); }
    void notificationServicesEnabled(
        std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)> block) override {
        block(std::make_shared<ZarnPNotificationsEnabledCallback>(notificationsEnabled, authorizationStatus));
    }
    void appInForeground(std::function<void(bool)> block) override { block(true); }
    bool hasSignificantLocationChanges() override { return slc; }
    bool hasGeofences() override { return geofences; }
    bool idfaOptedIn() override { return idfa; }

    std::optional<std::string> model = std::string("iPhone15,2");
    std::optional<std::string> version = std::string("16.4");
    std::string frameworkName = "native";
    std::optional<std::string> frameworkVer;
    std::optional<std::string> name = std::string("Sample App");
    std::optional<std::string> appVer = std::string("1.0");
    bool locationOn = true;
    bool accurate = true;
    bool background = true;
    bool notificationsEnabled = true;
    int authorizationStatus = 2;
    bool slc = true;
    bool geofences = true;
    bool idfa = false;
};

class FakeLocationManagerCreator final : public ZarnPLocationManagerCreator {
  public:
    std::shared_ptr<platform::LocationManager> createDefaultLocationManager() override { return nullptr; }
    bool isLocationServiceEnabled() override { return true; }
    platform::LocationAuthorizationStatus authorizationStatus() override { return status; }
    platform::LocationAuthorizationStatus status = platform::LocationAuthorizationStatus::AuthorizedAlways;
};

}  // namespace zarn::test
