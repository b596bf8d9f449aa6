#include "device/system/ZarnPBeaconRanging.h"

#include "core/Format.h"
#include "core/ZarnPBeaconUtil.h"
#include "zarn/platform/RunLoop.h"

namespace zarn {

ZarnPBeaconRanging::ZarnPBeaconRanging(std::shared_ptr<ZarnPBackgroundTask> task)
    : bgTask_(std::move(task)) {}

void ZarnPBeaconRanging::addOrUpdateBeaconSightings(const std::vector<platform::Beacon>& beacons) {
    for (const auto& b : beacons) {
        std::string key = format("%@_%@", b.major, b.minor);
        auto it = rangedBeacons_.find(key);
        if (it == rangedBeacons_.end())
            rangedBeacons_.emplace(key, b);
        else if (ZarnPBeaconUtil::proximityToDistance(b.proximity) <
                 ZarnPBeaconUtil::proximityToDistance(it->second.proximity))
            it->second = b;
    }
}

void ZarnPBeaconRanging::invalidateTimers() {
    if (rangingTimer_)
        rangingTimer_->invalidate();
    if (noPassTimer_)
        noPassTimer_->invalidate();
}

std::vector<platform::Beacon> ZarnPBeaconRanging::sightings() const {
    std::vector<platform::Beacon> out;
    for (const auto& [key, b] : rangedBeacons_) out.push_back(b);
    return out;
}

}  // namespace zarn
