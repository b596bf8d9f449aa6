#include "device/exchange/ZarnPStoreEvents.h"

#include "core/ZarnPEvent.h"

namespace zarn {

std::vector<ZarnPStoreEvent> ZarnPStoreEvents::storeEventsFromEvents(
    const std::vector<std::shared_ptr<ZarnPEvent>>& events, Date now) {
    std::vector<ZarnPStoreEvent> out;
    out.reserve(events.size());
    for (const auto& event : events)
        if (event)
            out.push_back(ZarnPStoreEvent::storeEventFromEvent(*event, now));
    return out;
}

ZarnPStoreEvents ZarnPStoreEvents::storeEventsWithDeviceId(
    std::string deviceId, const std::vector<std::shared_ptr<ZarnPEvent>>& events,
    std::vector<std::string> capabilities, std::optional<std::string> advertisingId,
    std::optional<bool> advertisingEnabled, const Value& segmentationProperties, Date now) {
    ZarnPStoreEvents command;
    command.deviceId = std::move(deviceId);
    command.events = storeEventsFromEvents(events, now);
    command.capabilities = std::move(capabilities);
    command.advertisingId = std::move(advertisingId);
    command.advertisingEnabled = advertisingEnabled;
    if (segmentationProperties.is_object())
        command.segmentationProperties = segmentationProperties;
    return command;
}

}  // namespace zarn
