#include "device/system/ZarnPBaseUINotificationDao.h"

#include "core/ZarnPNotification.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPPlaceholderUtil.h"
#include "core/ZarnPSentTrigger.h"

namespace zarn {

namespace {

// The stored text of a missing beacon UUID is never a UUID.
std::optional<std::string> storedBeaconUuid(const std::optional<std::string>& text) {
    if (!text || *text == "NULL" || text->empty())
        return std::nullopt;
    return text;
}

Value stringDictionary(const std::map<std::string, std::string>& dictionary) {
    Value out = Value::object();
    for (const auto& [key, value] : dictionary) out[key] = value;
    return out;
}

// A property without a value is written as null.
Value triggerPropertiesDictionary(const std::map<std::string, std::optional<std::string>>& properties) {
    Value out = Value::object();
    for (const auto& [key, value] : properties) out[key] = value ? Value(*value) : Value(nullptr);
    return out;
}

void insertLocation(Value& userInfo, const std::optional<ZarnPLocation>& location) {
    if (!location)
        return;
    userInfo["geofenceLatitude"] = location->latitude();
    userInfo["geofenceLongitude"] = location->longitude();
}

}  // namespace

const char* ZarnPBaseUINotificationDao::handlerTypeName(unsigned type) {
    switch (type) {
        case ZarnPNotificationHandlerTypeLandingPage:
            return "landingPage";
        case ZarnPNotificationHandlerTypeGeotrigger:
            return "geotrigger";
        case ZarnPNotificationHandlerTypeApplink:
            return "applink";
        default:
            return "regular";
    }
}

const char* ZarnPBaseUINotificationDao::regionTypeName(int regionType) {
    switch (regionType) {
        case ZarnPNotificationRegionTypeGeofence:
            return "geofence";
        case ZarnPNotificationRegionTypeBeacon:
            return "beacon";
        case ZarnPNotificationRegionTypeExternal:
            return "external";
        default:
            return nullptr;
    }
}

NotificationRequest ZarnPBaseUINotificationDao::create(const Fields& f) {
    const char* trigger = f.isExit ? "exit" : f.dwellingMinutes > 0 ? "dwelling" : "enter";
    auto message = ZarnPPlaceholderUtil::replacePlaceholders(f.message, f.regionId, f.regionLabel,
                                                             f.customRegionFields, f.matchPayload);
    auto action = ZarnPPlaceholderUtil::replacePlaceholders(f.action, f.regionId, f.regionLabel,
                                                            f.customRegionFields, f.matchPayload);
    Value userInfo = Value::object();
    checkAndInsert(userInfo, "identifier", f.identifier);
    checkAndInsert(userInfo, "message", message);
    userInfo["trigger"] = trigger;
    userInfo["dwellingMinutes"] = f.dwellingMinutes;
    userInfo["notificationHandlerType"] = handlerTypeName(f.type);
    if (const char* region = regionTypeName(f.regionType))
        userInfo["regionType"] = region;
    userInfo["matchRange"] = f.matchRange;
    if (f.triggerProperties && !f.triggerProperties->empty())
        userInfo["zarnTriggerProperties"] = triggerPropertiesDictionary(*f.triggerProperties);
    checkAndInsert(userInfo, "identifierWithExperiment", f.identifierWithExperiment);
    checkAndInsert(userInfo, "isAppInForeground", f.isAppInForeground);
    checkAndInsert(userInfo, "beaconUuid", f.beaconUuid);
    userInfo["action"] = action.value_or("");
    insertLocation(userInfo, f.location);
    checkAndInsert(userInfo, "matchIdentifier", f.matchIdentifier);
    userInfo["matchPayload"] = f.matchPayload ? stringDictionary(*f.matchPayload) : Value::object();
    if (f.cooldownGroups && !f.cooldownGroups->empty()) {
        Value groups = Value::array();
        for (const auto& group : *f.cooldownGroups) groups.push_back(group.toDictionary());
        userInfo["cooldownGroups"] = std::move(groups);
    }

    NotificationRequest request;
    request.identifier = f.matchIdentifier.value_or("unknown");
    request.content.body = message.value_or("");
    request.content.defaultSound = true;
    request.content.userInfo = std::move(userInfo);
    return request;
}

NotificationRequest ZarnPBaseUINotificationDao::createNotification(
    const ZarnPNotification& n, const std::optional<std::string>& matchIdentifier, int regionType,
    std::optional<bool> isAppInForeground) {
    Fields f;
    f.message = n.message();
    f.action = n.data();
    f.identifier = n.getShortId();
    f.regionId = n.regionId();
    f.regionLabel = n.regionLabel();
    f.identifierWithExperiment = n.getId();
    f.matchIdentifier = matchIdentifier;
    f.regionType = regionType;
    if (n.beaconUuid())
        f.beaconUuid = n.beaconUuid()->uuidString();
    f.isExit = n.triggerOnExit();
    f.dwellingMinutes = n.dwellingMinutes();
    f.location = n.location();
    f.matchRange = n.matchRange();
    f.type = n.notificationHandlerType();
    f.customRegionFields = &n.customRegionFields();
    f.matchPayload = &n.matchPayload();
    f.triggerProperties = &n.triggerProperties();
    f.isAppInForeground = isAppInForeground;
    f.cooldownGroups = &n.cooldownGroups();
    return create(f);
}

std::shared_ptr<ZarnSentNotification> ZarnPBaseUINotificationDao::createSentNotification(
    const ZarnPSentTrigger& t) {
    Fields f;
    f.message = t.message();
    f.action = t.data();
    f.identifier = t.identifier();
    f.identifierWithExperiment = t.identifierWithExperimentId();
    f.matchIdentifier = t.matchIdentifier();
    f.regionType = static_cast<int>(t.regionType());
    f.beaconUuid = storedBeaconUuid(t.beaconUuid());
    f.isExit = t.triggerOnExit();
    f.dwellingMinutes = t.dwellingMinutes();
    f.location = t.location();
    f.matchRange = t.matchRange();
    f.type = t.notificationHandlerType();
    f.matchPayload = &t.matchPayload();
    f.triggerProperties = &t.triggerProperties();
    auto request = create(f);
    return ZarnSentNotification::initializeWithUserInfo(std::move(request.content.userInfo),
                                                        t.dateSent().value_or(Date{}), t.dateOpened());
}

std::shared_ptr<ZarnGeotrigger> ZarnPBaseUINotificationDao::createGeotrigger(const GeotriggerFields& f) {
    Value userInfo = Value::object();
    checkAndInsert(userInfo, "action", f.action);
    checkAndInsert(userInfo, "identifier", f.identifier);
    checkAndInsert(userInfo, "identifierWithExperiment", f.identifierWithExperimentId);
    checkAndInsert(userInfo, "message", f.message);
    userInfo["trigger"] = f.isExit ? "exit" : "enter";
    if (const char* region = regionTypeName(f.regionType))
        userInfo["regionType"] = region;
    userInfo["matchRange"] = f.matchRange;
    checkAndInsert(userInfo, "beaconUuid", f.beaconUuid);
    if (f.triggerProperties && !f.triggerProperties->empty())
        userInfo["zarnTriggerProperties"] = triggerPropertiesDictionary(*f.triggerProperties);
    insertLocation(userInfo, f.location);
    checkAndInsert(userInfo, "matchIdentifier", f.matchIdentifier);
    return ZarnGeotrigger::initializeWithUserInfo(std::move(userInfo));
}

std::shared_ptr<ZarnGeotrigger> ZarnPBaseUINotificationDao::createGeotriggerFromNotification(
    const ZarnPNotification& n) {
    GeotriggerFields f;
    f.message = n.message();
    f.action = n.data();
    f.identifier = n.getShortId();
    f.identifierWithExperimentId = n.getId();
    f.regionType = n.beaconUuid()                   ? ZarnPNotificationRegionTypeBeacon
                   : !n.triggerProperties().empty() ? ZarnPNotificationRegionTypeExternal
                                                    : ZarnPNotificationRegionTypeGeofence;
    if (n.beaconUuid())
        f.beaconUuid = n.beaconUuid()->uuidString();
    f.isExit = n.triggerOnExit();
    f.location = n.location();
    f.triggerProperties = &n.triggerProperties();
    f.matchRange = n.matchRange();
    return createGeotrigger(f);
}

std::shared_ptr<ZarnGeotrigger> ZarnPBaseUINotificationDao::createGeotriggerFromTrigger(
    const ZarnPSentTrigger& t) {
    GeotriggerFields f;
    f.message = t.message();
    f.action = t.data();
    f.identifier = t.identifier();
    f.identifierWithExperimentId = t.identifierWithExperimentId();
    f.matchIdentifier = t.matchIdentifier();
    f.regionType = static_cast<int>(t.regionType());
    f.beaconUuid = storedBeaconUuid(t.beaconUuid());
    f.isExit = t.triggerOnExit();
    f.location = t.location();
    f.triggerProperties = &t.triggerProperties();
    f.matchRange = t.matchRange();
    return createGeotrigger(f);
}

std::shared_ptr<ZarnSentGeotrigger> ZarnPBaseUINotificationDao::createSentGeotrigger(
    const ZarnPSentTrigger& t) {
    auto geotrigger = createGeotriggerFromTrigger(t);
    return ZarnSentGeotrigger::initializeWithUserInfo(geotrigger->userInfo(), t.dateSent().value_or(Date{}),
                                                      t.dateOpened());
}

}  // namespace zarn
