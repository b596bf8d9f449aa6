#include "testing/RecordingConsole.h"

namespace zarn::platform {

void RecordingConsole::write(const std::string& line) {
    {
        std::lock_guard lk(mutex_);
        lines_.push_back(line);
    }
    if (forward_)
        forward_->write(line);
}

std::vector<std::string> RecordingConsole::lines() {
    std::lock_guard lk(mutex_);
    return lines_;
}

bool RecordingConsole::contains(const std::string& fragment) {
    std::lock_guard lk(mutex_);
    for (auto& l : lines_)
        if (l.find(fragment) != std::string::npos)
            return true;
    return false;
}

void RecordingConsole::clear() {
    std::lock_guard lk(mutex_);
    lines_.clear();
}

}  // namespace zarn::platform
