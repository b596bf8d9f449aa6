#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace com::zarnkit::velto::dataupdate::fb {
struct DataUpdateResponseDTO;
}

namespace zarn {

class ZarnPContext;

// What a saved data update means for the monitored regions.
struct ZarnPDataUpdateSaveOutcome {
    bool deleteAllOldData = false;
    // The beacon UUIDs this update names.
    std::vector<std::string> beaconUuids;
    // Every beacon UUID the store holds after the save.
    std::vector<std::string> storedBeaconUuids;
};

// Saves one data update in one transaction. Raises on a failed statement or commit, leaving the
// store as it was. Called on the saving thread with the root alive for the call.
using ZarnPDataUpdateSaveFunction = std::function<ZarnPDataUpdateSaveOutcome(
    const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& root,
    const std::shared_ptr<ZarnPContext>& zarnContext)>;

// Forgets what was read from the notification tables (the nearest-query cache) after a save.
using ZarnPNotificationCacheInvalidation = std::function<void()>;

}  // namespace zarn
