#pragma once
// The simulated beacons: beacons placed at points with a radio range, and the ranging of beacon
// regions (a pass every second, nearest first, with a proximity from the distance). Passes can
// be scripted per proximity UUID and ranging can fail on demand. Safe from any thread; passes
// are timers of the main run loop.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/TruePosition.h"
#include "zarn/Error.h"
#include "zarn/platform/BeaconProximity.h"
#include "zarn/platform/Region.h"

namespace zarn::sim {

class SimLocationManager;

struct PlacedBeacon {
    platform::ProximityUuid proximityUuid{};
    int major = 0;
    int minor = 0;
    platform::LocationCoordinate2D at{};
    double range = 30;  // metres of radio reach
};

class BeaconField : public std::enable_shared_from_this<BeaconField> {
  public:
    explicit BeaconField(std::shared_ptr<TruePosition> position);
    ~BeaconField();
    BeaconField(const BeaconField&) = delete;
    BeaconField& operator=(const BeaconField&) = delete;

    // Immediate within 1 m, near within 5 m, far beyond.
    static platform::BeaconProximity proximityForDistance(double metres);

    void place(PlacedBeacon beacon);
    void removeAll();
    // The next passes of every ranging of `uuid`, one a second, instead of the placed beacons;
    // once they are used up the placed beacons count again.
    void scriptPasses(const platform::ProximityUuid& uuid, std::vector<std::vector<platform::Beacon>> passes);
    // While set, each pass of a ranging is a ranging failure instead.
    void setRangingFails(bool fails);
    // Told whenever the placed beacons change (the region registry re-judges beacon regions).
    void setChangeListener(std::function<void()> listener);

    // The placed beacons of the region in reach of `at`, nearest first.
    std::vector<platform::Beacon> inRange(const platform::Region& region,
                                          const std::optional<platform::LocationCoordinate2D>& at);

    // Called by the managers.
    void startRanging(const platform::Region& region, const std::shared_ptr<SimLocationManager>& manager);
    void stopRanging(const std::string& identifier, const SimLocationManager* manager);

    // Ranging passes delivered (failures included), and the rangings running now.
    int passCount();
    size_t activeRangings();

  private:
    struct Session {
        platform::Region region;
        std::weak_ptr<SimLocationManager> manager;
        std::shared_ptr<platform::Timer> timer;
    };
    using Key = std::pair<const SimLocationManager*, std::string>;
    void pass(const Key& key);

    std::shared_ptr<TruePosition> position_;
    std::mutex mutex_;
    std::vector<PlacedBeacon> beacons_;
    std::map<platform::ProximityUuid, std::deque<std::vector<platform::Beacon>>> scripted_;
    bool fails_ = false;
    std::function<void()> changed_;
    std::map<Key, Session> sessions_;
    int passes_ = 0;
};

}  // namespace zarn::sim
