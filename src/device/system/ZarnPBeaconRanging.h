#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "zarn/platform/BeaconProximity.h"

namespace zarn {

namespace platform {
class Timer;
}

class ZarnPBackgroundTask;

// One running ranging of a beacon region: the background task that keeps it alive, the passes
// still to go, the closest sighting of each beacon (keyed "major_minor") and the expiry timer.
class ZarnPBeaconRanging {
  public:
    static constexpr std::int32_t kPasses = 3;

    explicit ZarnPBeaconRanging(std::shared_ptr<ZarnPBackgroundTask> task);
    ZarnPBeaconRanging(const ZarnPBeaconRanging&) = delete;
    ZarnPBeaconRanging& operator=(const ZarnPBeaconRanging&) = delete;

    // Keeps each beacon's sighting unless an earlier one was strictly closer or as close.
    void addOrUpdateBeaconSightings(const std::vector<platform::Beacon>& beacons);

    const std::shared_ptr<ZarnPBackgroundTask>& bgTask() const { return bgTask_; }
    std::int32_t rangingCount() const { return rangingCount_; }
    void setRangingCount(std::int32_t count) { rangingCount_ = count; }
    const std::map<std::string, platform::Beacon>& rangedBeacons() const { return rangedBeacons_; }
    // The kept sightings in key order.
    std::vector<platform::Beacon> sightings() const;
    const std::shared_ptr<platform::Timer>& rangingTimer() const { return rangingTimer_; }
    void setRangingTimer(std::shared_ptr<platform::Timer> timer) { rangingTimer_ = std::move(timer); }
    // Ends a ranging that never gets a pass; dropped at the first pass.
    const std::shared_ptr<platform::Timer>& noPassTimer() const { return noPassTimer_; }
    void setNoPassTimer(std::shared_ptr<platform::Timer> timer) { noPassTimer_ = std::move(timer); }
    // Stops both timers.
    void invalidateTimers();

  private:
    std::shared_ptr<ZarnPBackgroundTask> bgTask_;
    std::int32_t rangingCount_ = kPasses;
    std::map<std::string, platform::Beacon> rangedBeacons_;
    std::shared_ptr<platform::Timer> rangingTimer_;
    std::shared_ptr<platform::Timer> noPassTimer_;
};

}  // namespace zarn
