#pragma once
#include <memory>
#include <string>

namespace zarn {

namespace platform {
class Reachability;
}

// The kind of network the device is on, read from the reachability of the service's host.
// Any thread.
class ZarnPNetworkDao {
  public:
    static constexpr const char* kWifi = "WIFI";
    static constexpr const char* kMobile = "MOBILE";
    static constexpr const char* kNone = "NONE";
    static constexpr const char* kUnknown = "UNKNOWN";

    // `serviceHost`: the host of the service's base address. The reachability is the
    // platform's; a host without one (null) gets "UNKNOWN" for every answer.
    ZarnPNetworkDao(std::string serviceHost, std::shared_ptr<platform::Reachability> reachability);
    virtual ~ZarnPNetworkDao() = default;

    // "WIFI", "MOBILE", "NONE", or "UNKNOWN" when the flags cannot be read.
    virtual std::string connectionType();
    // YES unless the connection is "WIFI".
    virtual bool isMeteredConnection();
    virtual bool isRoaming();

  private:
    std::string serviceHost_;
    std::shared_ptr<platform::Reachability> reachability_;
};

}  // namespace zarn
