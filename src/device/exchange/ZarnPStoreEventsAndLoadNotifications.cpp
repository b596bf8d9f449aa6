#include "device/exchange/ZarnPStoreEventsAndLoadNotifications.h"

#include "core/ZarnPLocation.h"
#include "device/exchange/ZarnPStoreEvents.h"

namespace zarn {

ZarnPStoreEventsAndLoadNotifications ZarnPStoreEventsAndLoadNotifications::storeEventsWithDeviceId(
    std::string deviceId, const std::vector<std::shared_ptr<ZarnPEvent>>& events,
    std::shared_ptr<ZarnPLocation> location, std::vector<std::string> capabilities,
    std::optional<std::string> advertisingId, std::optional<bool> advertisingEnabled,
    const Value& segmentationProperties, std::optional<double> accuracy,
    std::optional<ZarnPUpdateConditions> updateConditions, std::optional<std::vector<Value>> loadedTiles,
    Date now) {
    ZarnPStoreEventsAndLoadNotifications command;
    command.deviceId = std::move(deviceId);
    command.events = ZarnPStoreEvents::storeEventsFromEvents(events, now);
    command.location = std::move(location);
    command.capabilities = std::move(capabilities);
    command.advertisingId = std::move(advertisingId);
    command.advertisingEnabled = advertisingEnabled;
    if (segmentationProperties.is_object())
        command.segmentationProperties = segmentationProperties;
    command.accuracy = accuracy;
    command.updateConditions = std::move(updateConditions);
    command.loadedTiles = std::move(loadedTiles);
    return command;
}

}  // namespace zarn
