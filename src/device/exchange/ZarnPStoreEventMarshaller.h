#pragma once
#include "device/exchange/ZarnPStoreEvent.h"
#include "device/exchange/ZarnPStoreEvents.h"
#include "device/exchange/ZarnPStoreEventsAndLoadNotifications.h"
#include "device/exchange/ZarnPUpdateConditions.h"
#include "zarn/Value.h"

namespace zarn {

// The request commands as the JSON dictionaries the service reads. A key is present exactly when
// its value is. Booleans are JSON booleans, "secondsAgo", "batteryLevel" and a tile's "version"
// integers, latitude, longitude and accuracy doubles. Stateless; any thread.
class ZarnPStoreEventMarshaller {
  public:
    // Nothing (null) for an event of a type that has no wire name, which is then left out.
    static Value storeEventToDictionary(const ZarnPStoreEvent& event);
    static Value storeEventsToDictionary(const ZarnPStoreEvents& command);
    static Value storeEventsAndLoadNotificationsToDictionary(
        const ZarnPStoreEventsAndLoadNotifications& command);
    static Value marshallUpdateCondition(const ZarnPUpdateConditions& conditions);
    // {"id": string, "version": integer} of a tile's dictionary form; null when it has no text id.
    static Value loadedTileToDictionary(const Value& tile);
};

}  // namespace zarn
