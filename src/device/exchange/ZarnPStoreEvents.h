#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/exchange/ZarnPStoreEvent.h"

namespace zarn {

class ZarnPEvent;

// The "storeEvents" command.
struct ZarnPStoreEvents {
    std::string deviceId;
    std::vector<ZarnPStoreEvent> events;
    std::vector<std::string> capabilities;  // kept, never sent
    std::optional<std::string> advertisingId;
    std::optional<bool> advertisingEnabled;
    std::optional<Value> segmentationProperties;  // a dictionary

    // `segmentationProperties` counts only when it is a dictionary; null events are skipped.
    static ZarnPStoreEvents storeEventsWithDeviceId(std::string deviceId,
                                                    const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                                                    std::vector<std::string> capabilities,
                                                    std::optional<std::string> advertisingId,
                                                    std::optional<bool> advertisingEnabled,
                                                    const Value& segmentationProperties, Date now);

    // The events as sent, dated against `now`.
    static std::vector<ZarnPStoreEvent> storeEventsFromEvents(
        const std::vector<std::shared_ptr<ZarnPEvent>>& events, Date now);
};

}  // namespace zarn
