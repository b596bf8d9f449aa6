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
    // "10.3", "9.3", ...
    virtual std::string systemVersion() = 0;
};

// An app bundle: its information values and its resources. Any thread.
class Bundle {
  public:
    virtual ~Bundle() = default;
    // A value of the bundle's information dictionary ("CFBundleDisplayName", ...), or nothing.
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
