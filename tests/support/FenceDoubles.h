#pragma once
// A fence store that changes no region, for callers run without the platform's regions.
#include <optional>
#include <string>
#include <vector>

#include "device/system/ZarnPFenceDao.h"

namespace zarn::test {

// Every change is ignored; beacons and region exits count as supported. A test that records
// some calls overrides those.
class IgnoringFences : public ZarnPFenceDao {
  public:
    void replaceNotifications(const std::vector<ZarnPGeofence>&,
                              const std::optional<std::vector<std::string>>&) override {}
    void monitorGeofenceNotifications(const std::vector<ZarnPGeofence>&) override {}
    void replaceBeaconNotifications(const std::vector<std::string>&) override {}
    void removeAllFences() override {}
    void getReady() override {}
    bool isBeaconSupported() override { return true; }
    bool isRegionExitSupported() override { return true; }
};

}  // namespace zarn::test
