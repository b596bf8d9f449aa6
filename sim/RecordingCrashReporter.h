#pragma once
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "zarn/platform/SystemInfo.h"

namespace zarn::sim {

// Keeps what the library reported to the crash reporter. The device does not provide one: a
// crash reporter is absent unless the host links it, so a test installs this one itself. Any
// thread.
class RecordingCrashReporter : public platform::CrashReporter {
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

}  // namespace zarn::sim
