#pragma once
// The app-wide set of monitored regions of the simulated device. At most 20 regions, the app's
// own included; a 21st, or a circle wider than the maximum distance, fails with the platform's
// region-monitoring error (code 5). After every position change each region is judged inside
// or outside by geometry (a beacon region is inside while one of its beacons is in reach);
// crossings are reported to every manager of the app: every entry, and exits where the region
// notifies on exit. A region registered while the device is inside starts
// inside without an entry; only a state request tells. Safe from any thread.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/BeaconField.h"
#include "zarn/platform/LocationManager.h"
#include "zarn/platform/Region.h"

namespace zarn::sim {

class SimLocationManager;

class RegionRegistry {
  public:
    static constexpr size_t kMaxRegions = 20;
    using Broadcast = std::function<void(std::function<void(platform::LocationManagerDelegate&)>)>;

    // Crossings go to every manager through `broadcast`.
    RegionRegistry(std::shared_ptr<BeaconField> beacons, Broadcast broadcast);
    RegionRegistry(const RegionRegistry&) = delete;
    RegionRegistry& operator=(const RegionRegistry&) = delete;

    void setMaximumDistance(double metres);
    double maximumDistance();
    // A region of the app itself (not the library's), monitored from the start.
    void seedAppRegion(const platform::Region& region,
                       const std::optional<platform::LocationCoordinate2D>& position);

    std::vector<platform::Region> monitored();
    std::optional<platform::Region> region(const std::string& identifier);
    platform::RegionState state(const std::string& identifier);

    // One crossing as it was reported.
    struct Crossing {
        std::string identifier;
        bool entered = false;
        bool operator==(const Crossing&) const = default;
    };
    std::vector<Crossing> crossings();
    // Monitoring starts and stops the library asked for, in order ("+id", "-id").
    std::vector<std::string> requests();

    // Called by the managers and the world.
    void startMonitoring(const platform::Region& region, const std::shared_ptr<SimLocationManager>& manager,
                         const std::optional<platform::LocationCoordinate2D>& position);
    void stopMonitoring(const std::string& identifier);
    void requestState(const platform::Region& region, const std::shared_ptr<SimLocationManager>& manager,
                      const std::optional<platform::LocationCoordinate2D>& position);
    void positionChanged(const std::optional<platform::LocationCoordinate2D>& position);

  private:
    struct Entry {
        platform::Region region;
        bool inside = false;
    };
    bool insideLocked(const platform::Region& region,
                      const std::optional<platform::LocationCoordinate2D>& at);

    std::shared_ptr<BeaconField> beacons_;
    Broadcast broadcast_;
    std::mutex mutex_;
    double maximumDistance_ = 200000;
    std::vector<Entry> entries_;
    std::vector<Crossing> crossings_;
    std::vector<std::string> requests_;
};

}  // namespace zarn::sim
