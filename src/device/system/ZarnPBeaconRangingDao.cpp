#include "device/system/ZarnPBeaconRangingDao.h"

#include "device/system/ZarnPBeaconRanging.h"

namespace zarn {

std::shared_ptr<ZarnPBeaconRanging> ZarnPBeaconRangingDao::getRangingBgTask(
    const std::string& identifier) const {
    auto it = beaconRangingBgTasks_.find(identifier);
    return it == beaconRangingBgTasks_.end() ? nullptr : it->second;
}

void ZarnPBeaconRangingDao::addRangingBgTask(const std::string& identifier,
                                             std::shared_ptr<ZarnPBackgroundTask> backgroundTask) {
    removeRangingBgTask(identifier);
    beaconRangingBgTasks_[identifier] = std::make_shared<ZarnPBeaconRanging>(std::move(backgroundTask));
}

void ZarnPBeaconRangingDao::removeRangingBgTask(const std::string& identifier) {
    auto it = beaconRangingBgTasks_.find(identifier);
    if (it == beaconRangingBgTasks_.end())
        return;
    it->second->invalidateTimers();
    beaconRangingBgTasks_.erase(it);
}

}  // namespace zarn
