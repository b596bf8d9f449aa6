#pragma once
#include <set>
#include <string>
#include <utility>

namespace zarn {

// What a data-update save hands back to its caller, read-only once built: the beacon UUIDs of the
// notifications the update saved, the update's deleteAllOldData flag as read (also for a quick
// sync, whose save ignores it), and every beacon UUID the store holds after the save, so that the
// caller can replace the monitored beacon regions without dropping those of untouched tiles.
class DataUpdateSaveResult {
  public:
    DataUpdateSaveResult(std::set<std::string> beaconUuids, bool deleteAllOldData,
                         std::set<std::string> storedBeaconUuids)
        : beaconUuids_(std::move(beaconUuids)),
          deleteAllOldData_(deleteAllOldData),
          storedBeaconUuids_(std::move(storedBeaconUuids)) {}

    // Each non-empty beacon UUID of a notification saved by this update, once.
    const std::set<std::string>& beaconUuids() const { return beaconUuids_; }
    bool deleteAllOldData() const { return deleteAllOldData_; }
    // Each non-empty beacon UUID of a notification stored once the save committed, once.
    const std::set<std::string>& storedBeaconUuids() const { return storedBeaconUuids_; }

  private:
    std::set<std::string> beaconUuids_;
    bool deleteAllOldData_;
    std::set<std::string> storedBeaconUuids_;
};

}  // namespace zarn
