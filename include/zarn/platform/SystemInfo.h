#pragma once
#include <optional>
#include <string>
#include <vector>

#include "zarn/Error.h"
#include "zarn/ValueFwd.h"

namespace zarn::platform {

// The current call stack as symbol lines, innermost first. Any thread.
class CallStack {
  public:
    virtual ~CallStack() = default;
    virtual std::vector<std::string> symbols() = 0;
};

// glibc backtrace.
class BacktraceCallStack final : public CallStack {
  public:
    std::vector<std::string> symbols() override;
};

// The device's operating-system facts. Any thread.
class DeviceInfo {
  public:
    virtual ~DeviceInfo() = default;
    // "10.3", "9.3", ...: the version of the phone system whose behaviour the host's facilities
    // give, read by its leading number. Below 10 every call of the library does nothing; from 12
    // a provisional notification permission is asked for (when configured) and counts, from 13
    // landing pages go to the foreground scene's window, from 14 the accuracy and tracking
    // authorizations are read. It is also sent to the service as "platform_version". A host that
    // is not a phone answers the version its facilities stand for, "16.4" for current behaviour
    // (as the simulated device does), never its own system's: a kernel's "6.1" switches the
    // library off.
    virtual std::string systemVersion() = 0;
};

// An app bundle: its information values and its resources. Any thread.
class Bundle {
  public:
    virtual ~Bundle() = default;
    // A value of the bundle's information dictionary, or nothing. The library reads three texts
    // of the main bundle: "CFBundleDisplayName" and "CFBundleVersion", the app's name and the
    // app's own version, sent to the service as "app_name" and "app_version" (a host that is
    // not a phone gives its own), and "NSLocationAlwaysUsageDescription" (ZarnDebug's check).
    virtual std::optional<Value> infoValue(const std::string& key) = 0;
    // The path of a resource ("zarnconfig.json", "www/zarnconfig.json"), or nothing.
    virtual std::optional<std::string> pathForResource(const std::string& name) = 0;
};

// Shows an alert with a title, a message and buttons. Called on the main thread only; returns
// at once (the alert stays up until the user closes it).
class AlertPresenter {
  public:
    virtual ~AlertPresenter() = default;
    virtual void showAlert(const std::string& title, const std::string& message,
                           const std::vector<std::string>& buttons) = 0;
};

// An optional crash reporter that the host links; absent unless installed. Any thread.
class CrashReporter {
  public:
    virtual ~CrashReporter() = default;
    virtual void setUserIdentifier(const std::string& identifier) = 0;
    virtual void recordError(const Error& error) = 0;
};

}  // namespace zarn::platform
