#include "sim/SimUrlOpener.h"

#include <algorithm>

namespace zarn::sim {

void SimUrlOpener::openUrl(const std::string& url, std::function<void(bool)> completion) {
    bool success = false;
    {
        std::lock_guard lk(mutex_);
        opened_.push_back(url);
        auto colon = url.find(':');
        if (colon != std::string::npos) {
            std::string scheme = url.substr(0, colon);
            success = std::find(schemes_.begin(), schemes_.end(), scheme) != schemes_.end();
        }
    }
    if (completion)
        completion(success);
}

void SimUrlOpener::setOpenableSchemes(std::vector<std::string> schemes) {
    std::lock_guard lk(mutex_);
    schemes_ = std::move(schemes);
}

std::vector<std::string> SimUrlOpener::opened() {
    std::lock_guard lk(mutex_);
    return opened_;
}

}  // namespace zarn::sim
