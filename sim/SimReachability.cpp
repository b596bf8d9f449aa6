#include "sim/SimReachability.h"

namespace zarn::sim {

std::optional<std::uint32_t> SimReachability::flagsForHostName(const std::string& hostName) {
    std::lock_guard lk(mutex_);
    queries_.push_back(hostName);
    return flags_;
}

void SimReachability::setReachabilityFlags(std::optional<std::uint32_t> flags) {
    std::lock_guard lk(mutex_);
    flags_ = flags;
}

std::vector<std::string> SimReachability::reachabilityQueries() {
    std::lock_guard lk(mutex_);
    return queries_;
}

}  // namespace zarn::sim
