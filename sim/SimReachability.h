#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "zarn/platform/Reachability.h"

namespace zarn::sim {

// One set of reachability flags for every host; records the host names asked about. Any thread.
class SimReachability : public platform::Reachability {
  public:
    std::optional<std::uint32_t> flagsForHostName(const std::string& hostName) override;
    // Nothing: the flags cannot be read.
    void setReachabilityFlags(std::optional<std::uint32_t> flags);
    std::vector<std::string> reachabilityQueries();

  private:
    std::mutex mutex_;
    std::optional<std::uint32_t> flags_ = platform::kReachabilityFlagReachable;
    std::vector<std::string> queries_;
};

}  // namespace zarn::sim
