#include "sim/SimRuntimeClasses.h"

namespace zarn::sim {

bool SimRuntimeClasses::classExists(const std::string& name) {
    std::lock_guard lk(mutex_);
    return classes_.count(name) > 0;
}

void SimRuntimeClasses::addClass(const std::string& name) {
    std::lock_guard lk(mutex_);
    classes_.insert(name);
}

void SimRuntimeClasses::removeClass(const std::string& name) {
    std::lock_guard lk(mutex_);
    classes_.erase(name);
}

}  // namespace zarn::sim
