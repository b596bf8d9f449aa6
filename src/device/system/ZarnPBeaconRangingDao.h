#pragma once
#include <map>
#include <memory>
#include <string>

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPBeaconRanging;

// The running rangings by beacon-region identifier; at most one per region. SDK thread.
class ZarnPBeaconRangingDao {
  public:
    std::shared_ptr<ZarnPBeaconRanging> getRangingBgTask(const std::string& identifier) const;
    // A new ranging (3 passes, no sightings) with the task, replacing any entry.
    void addRangingBgTask(const std::string& identifier, std::shared_ptr<ZarnPBackgroundTask> backgroundTask);
    // Invalidates the entry's timers, then drops the entry (and with it the task).
    void removeRangingBgTask(const std::string& identifier);
    size_t count() const { return beaconRangingBgTasks_.size(); }

  private:
    std::map<std::string, std::shared_ptr<ZarnPBeaconRanging>> beaconRangingBgTasks_;
};

}  // namespace zarn
