#pragma once
#include <memory>

#include "core/ZarnPErrorRecorder.h"
#include "zarn/platform/SystemInfo.h"

namespace zarn {

// The bridge to an optional crash reporter that the host may link. When none is installed,
// sharedInstance() is null and every call goes nowhere. Like a class looked up by name, the
// reporter is found in the installed platform at each call: the host may link one or not.
class ZarnPCrashlyticsStubs {
  public:
    static std::shared_ptr<platform::CrashReporter> sharedInstance();
    // Both are safe to call whether or not a reporter exists.
    static void setUserIdentifier(const std::string& identifier);
    static void recordError(const Error& error);
};

// Hands logged errors to the crash reporter; the module installs it in the logger.
class ZarnPCrashlyticsErrorRecorder final : public ZarnPErrorRecorder {
  public:
    void recordError(const Error& error) override { ZarnPCrashlyticsStubs::recordError(error); }
};

}  // namespace zarn
