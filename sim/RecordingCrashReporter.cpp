#include "sim/RecordingCrashReporter.h"

namespace zarn::sim {

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

}  // namespace zarn::sim
