#include "device/exchange/ZarnPStoreEventMarshaller.h"

#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPLocation.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPLogger.h"
#include "device/exchange/ZarnPLocationMarshaller.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "StoreEventMarshaller";

Value eventsToArray(const std::vector<ZarnPStoreEvent>& events) {
    Value array = Value::array();
    for (const auto& event : events) {
        Value dict = ZarnPStoreEventMarshaller::storeEventToDictionary(event);
        if (!dict.is_null())
            array.push_back(std::move(dict));
    }
    return array;
}

void putAdvertisingAndSegmentation(Value& dict, const std::optional<std::string>& advertisingId,
                                   std::optional<bool> advertisingEnabled,
                                   const std::optional<Value>& segmentationProperties) {
    if (advertisingId)
        dict["advertisingId"] = *advertisingId;
    if (advertisingEnabled)
        dict["advertisingOptOut"] = !*advertisingEnabled;
    if (segmentationProperties)
        dict["segmentationProperties"] = *segmentationProperties;
}
}  // namespace

Value ZarnPStoreEventMarshaller::storeEventToDictionary(const ZarnPStoreEvent& event) {
    auto name = ZarnPLogEventType::nameForType(event.eventType);
    if (!name) {
        LogWarn(kDomain, "Leaving out event %@ of unknown type %d", event.localId,
                static_cast<int>(event.eventType));
        return Value();
    }
    Value dict = Value::object();
    dict["localId"] = event.localId;
    dict["eventType"] = *name;
    dict["secondsAgo"] = static_cast<std::int64_t>(event.secondsAgo);
    if (event.extra.is_object())
        dict["extra"] = event.extra;
    return dict;
}

Value ZarnPStoreEventMarshaller::storeEventsToDictionary(const ZarnPStoreEvents& command) {
    Value dict = Value::object();
    dict["deviceId"] = command.deviceId;
    dict["events"] = eventsToArray(command.events);
    putAdvertisingAndSegmentation(dict, command.advertisingId, command.advertisingEnabled,
                                  command.segmentationProperties);
    return dict;
}

Value ZarnPStoreEventMarshaller::storeEventsAndLoadNotificationsToDictionary(
    const ZarnPStoreEventsAndLoadNotifications& command) {
    Value dict = Value::object();
    dict["deviceId"] = command.deviceId;
    dict["events"] = eventsToArray(command.events);
    dict["location"] = ZarnPLocationMarshaller::locationToDictionary(
        command.location ? *command.location : ZarnPLocation(0.0, 0.0));
    Value capabilities = Value::array();
    for (const auto& c : command.capabilities) capabilities.push_back(c);
    dict["capabilities"] = std::move(capabilities);
    if (command.accuracy)
        dict["accuracy"] = static_cast<double>(*command.accuracy);
    if (command.updateConditions)
        dict["updateConditions"] = marshallUpdateCondition(*command.updateConditions);
    if (command.beaconNotificationVersion)
        dict["beaconNotificationVersion"] = *command.beaconNotificationVersion;
    putAdvertisingAndSegmentation(dict, command.advertisingId, command.advertisingEnabled,
                                  command.segmentationProperties);
    if (command.loadedTiles) {
        Value tiles = Value::array();
        for (const auto& tile : *command.loadedTiles) {
            Value t = loadedTileToDictionary(tile);
            if (!t.is_null())
                tiles.push_back(std::move(t));
        }
        dict["loadedTiles"] = std::move(tiles);
    }
    return dict;
}

Value ZarnPStoreEventMarshaller::marshallUpdateCondition(const ZarnPUpdateConditions& c) {
    Value dict = Value::object();
    dict["unmeteredConnection"] = c.unmeteredConnection;
    dict["connectionType"] = c.connectionType;
    dict["charging"] = c.charging;
    dict["trigger"] = c.trigger;
    dict["batteryLevel"] = static_cast<std::int64_t>(c.batteryLevel);
    dict["roaming"] = c.roaming;
    return dict;
}

Value ZarnPStoreEventMarshaller::loadedTileToDictionary(const Value& tile) {
    auto id = ZarnPDictionaryHelper::dictStringForKey(tile, "id", nullptr);
    if (!id)
        return Value();
    Value dict = Value::object();
    dict["id"] = *id;
    auto version = ZarnPDictionaryHelper::dictObjectForKeyOrElse(tile, "version", Value());
    dict["version"] = static_cast<std::int64_t>(ZarnPDictionaryHelper::longLongValueOf(version));
    return dict;
}

}  // namespace zarn
