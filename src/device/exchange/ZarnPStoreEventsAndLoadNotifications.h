#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/exchange/ZarnPStoreEvent.h"
#include "device/exchange/ZarnPUpdateConditions.h"

namespace zarn {

class ZarnPEvent;
class ZarnPLocation;

// The "storeEventsAndLoadNotifications" command.
struct ZarnPStoreEventsAndLoadNotifications {
    std::string deviceId;
    std::vector<ZarnPStoreEvent> events;
    std::shared_ptr<ZarnPLocation> location;  // none: sent as 0, 0
    std::vector<std::string> capabilities;
    std::optional<std::string> advertisingId;
    std::optional<bool> advertisingEnabled;
    std::optional<Value> segmentationProperties;  // a dictionary
    std::optional<double> accuracy;               // metres
    std::optional<ZarnPUpdateConditions> updateConditions;
    // The loaded tiles in their dictionary form {"id": geohash, "version": 64-bit integer}.
    std::optional<std::vector<Value>> loadedTiles;
    std::optional<double> beaconNotificationVersion;  // nothing sets it

    static ZarnPStoreEventsAndLoadNotifications storeEventsWithDeviceId(
        std::string deviceId, const std::vector<std::shared_ptr<ZarnPEvent>>& events,
        std::shared_ptr<ZarnPLocation> location, std::vector<std::string> capabilities,
        std::optional<std::string> advertisingId, std::optional<bool> advertisingEnabled,
        const Value& segmentationProperties, std::optional<double> accuracy,
        std::optional<ZarnPUpdateConditions> updateConditions, std::optional<std::vector<Value>> loadedTiles,
        Date now);
};

}  // namespace zarn
