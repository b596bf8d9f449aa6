#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace zarn::platform {

// Reachability flags, as bits.
inline constexpr std::uint32_t kReachabilityFlagReachable = 1u << 1;           // 2
inline constexpr std::uint32_t kReachabilityFlagConnectionRequired = 1u << 2;  // 4
inline constexpr std::uint32_t kReachabilityFlagIsWWAN = 1u << 18;             // 0x40000, cellular

// Whether a host could be reached over the current network, without sending anything.
class Reachability {
  public:
    virtual ~Reachability() = default;
    Reachability() = default;
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // The flags for a host name, read once. Any thread; does not block on the network. Nothing
    // when no reachability object can be made for the name or its flags cannot be read.
    virtual std::optional<std::uint32_t> flagsForHostName(const std::string& hostName) = 0;
};

}  // namespace zarn::platform
