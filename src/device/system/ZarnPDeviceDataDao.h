#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zarn {

class ZarnPNotificationsEnabledCallback;

// Answers about the device and the app. The synchronous operations run on the caller's thread
// (the SDK thread); the asynchronous ones read application or notification state on the main
// thread without blocking anybody and call their block later on the SDK thread.
class ZarnPDeviceDataDao {
  public:
    virtual ~ZarnPDeviceDataDao() = default;

    // The machine identifier ("iPhone15,2"); nothing when it cannot be read.
    virtual std::optional<std::string> hardwareModel() = 0;
    // The system version ("16.4").
    virtual std::optional<std::string> platformVersion() = 0;
    // "native", "cordova", "appcelerator" or "xamarin".
    virtual std::string framework() = 0;
    // Nothing for a native app, "unknown" for a detected framework, the stored version for one
    // that reports it.
    virtual std::optional<std::string> frameworkVersion() = 0;
    virtual std::optional<std::string> appName() = 0;
    virtual std::optional<std::string> appVersion() = 0;
    virtual bool locationServicesEnabled() = 0;
    virtual bool accurateLocationEnabled() = 0;
    virtual void backgroundExecutionEnabled(std::function<void(bool)> block) = 0;
    virtual void notificationServicesEnabled(
        std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)> block) = 0;
    virtual void appInForeground(std::function<void(bool)> block) = 0;
    virtual bool hasSignificantLocationChanges() = 0;
    virtual bool hasGeofences() = 0;
    virtual bool idfaOptedIn() = 0;
};

}  // namespace zarn
