#include "device/system/ZarnPBaseUINotificationDao.h"

#include "core/ZarnPNotification.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "core/ZarnPNotificationRegionType.h"
#include "core/ZarnPPlaceholderUtil.h"
#include "core/ZarnPSentTrigger.h"
#include "core/ZarnPUserInfoKeys.h"

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

// The entries a notification request and a geotrigger write alike.
Value sharedUserInfo(const ZarnPBaseUINotificationDao::Fields& f) {
    Value userInfo = Value::object();
    ZarnPBaseUINotificationDao::checkAndInsert(userInfo, userinfo::kIdentifier, f.identifier);
    ZarnPBaseUINotificationDao::checkAndInsert(userInfo, userinfo::kIdentifierWithExperiment,
                                               f.identifierWithExperiment);
    if (const char* region = ZarnPNotificationRegionType::regionToString(f.regionType))
        userInfo[userinfo::kRegionType] = region;
    userInfo[userinfo::kMatchRange] = f.matchRange;
    ZarnPBaseUINotificationDao::checkAndInsert(userInfo, userinfo::kBeaconUuid, f.beaconUuid);
    if (f.triggerProperties && !f.triggerProperties->empty())
        userInfo[userinfo::kTriggerProperties] = triggerPropertiesDictionary(*f.triggerProperties);
    if (f.location) {
        userInfo[userinfo::kGeofenceLatitude] = f.location->latitude();
        userInfo[userinfo::kGeofenceLongitude] = f.location->longitude();
    }
    ZarnPBaseUINotificationDao::checkAndInsert(userInfo, userinfo::kMatchIdentifier, f.matchIdentifier);
    return userInfo;
}

// The fields a loaded notification and a sent trigger hold under the same names.
template <typename Entity>
ZarnPBaseUINotificationDao::Fields sameNamedFields(const Entity& e) {
    ZarnPBaseUINotificationDao::Fields f;
    f.message = e.message();
    f.action = e.data();
    f.isExit = e.triggerOnExit();
    f.location = e.location();
    f.matchRange = e.matchRange();
    f.triggerProperties = &e.triggerProperties();
    f.dwellingMinutes = e.dwellingMinutes();
    f.type = e.notificationHandlerType();
    f.matchPayload = &e.matchPayload();
    return f;
}

}  // namespace

ZarnPBaseUINotificationDao::Fields ZarnPBaseUINotificationDao::fieldsOf(const ZarnPNotification& n) {
    Fields f = sameNamedFields(n);
    f.identifier = n.getShortId();
    f.identifierWithExperiment = n.getId();
    if (n.beaconUuid())
        f.beaconUuid = n.beaconUuid()->uuidString();
    f.regionId = n.regionId();
    f.regionLabel = n.regionLabel();
    f.customRegionFields = &n.customRegionFields();
    f.cooldownGroups = &n.cooldownGroups();
    return f;
}

ZarnPBaseUINotificationDao::Fields ZarnPBaseUINotificationDao::fieldsOf(const ZarnPSentTrigger& t) {
    Fields f = sameNamedFields(t);
    f.identifier = t.identifier();
    f.identifierWithExperiment = t.identifierWithExperimentId();
    f.matchIdentifier = t.matchIdentifier();
    f.regionType = static_cast<int>(t.regionType());
    f.beaconUuid = storedBeaconUuid(t.beaconUuid());
    return f;
}

NotificationRequest ZarnPBaseUINotificationDao::create(const Fields& f) {
    const char* trigger = f.isExit                ? userinfo::kTriggerExit
                          : f.dwellingMinutes > 0 ? userinfo::kTriggerDwelling
                                                  : userinfo::kTriggerEnter;
    auto message = ZarnPPlaceholderUtil::replacePlaceholders(f.message, f.regionId, f.regionLabel,
                                                             f.customRegionFields, f.matchPayload);
    auto action = ZarnPPlaceholderUtil::replacePlaceholders(f.action, f.regionId, f.regionLabel,
                                                            f.customRegionFields, f.matchPayload);
    Value userInfo = sharedUserInfo(f);
    checkAndInsert(userInfo, userinfo::kMessage, message);
    userInfo[userinfo::kTrigger] = trigger;
    userInfo[userinfo::kDwellingMinutes] = f.dwellingMinutes;
    userInfo[userinfo::kNotificationHandlerType] = ZarnPNotificationHandlerUtil::userInfoName(f.type);
    checkAndInsert(userInfo, userinfo::kIsAppInForeground, f.isAppInForeground);
    userInfo[userinfo::kAction] = action.value_or("");
    userInfo[userinfo::kMatchPayload] = f.matchPayload ? stringDictionary(*f.matchPayload) : Value::object();
    if (f.cooldownGroups && !f.cooldownGroups->empty()) {
        Value groups = Value::array();
        for (const auto& group : *f.cooldownGroups) groups.push_back(group.toDictionary());
        userInfo[userinfo::kCooldownGroups] = std::move(groups);
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
    Fields f = fieldsOf(n);
    f.matchIdentifier = matchIdentifier;
    f.regionType = regionType;
    f.isAppInForeground = isAppInForeground;
    return create(f);
}

std::shared_ptr<ZarnSentNotification> ZarnPBaseUINotificationDao::createSentNotification(
    const ZarnPSentTrigger& t) {
    auto request = create(fieldsOf(t));
    return ZarnSentNotification::initializeWithUserInfo(std::move(request.content.userInfo),
                                                        t.dateSent().value_or(Date{}), t.dateOpened());
}

// Message and action go as they are stored, without placeholder filling.
std::shared_ptr<ZarnGeotrigger> ZarnPBaseUINotificationDao::createGeotrigger(const Fields& f) {
    Value userInfo = sharedUserInfo(f);
    checkAndInsert(userInfo, userinfo::kAction, f.action);
    checkAndInsert(userInfo, userinfo::kMessage, f.message);
    userInfo[userinfo::kTrigger] = f.isExit ? userinfo::kTriggerExit : userinfo::kTriggerEnter;
    return ZarnGeotrigger::initializeWithUserInfo(std::move(userInfo));
}

std::shared_ptr<ZarnGeotrigger> ZarnPBaseUINotificationDao::createGeotriggerFromNotification(
    const ZarnPNotification& n) {
    Fields f = fieldsOf(n);
    f.regionType = n.beaconUuid()                   ? ZarnPNotificationRegionTypeBeacon
                   : !n.triggerProperties().empty() ? ZarnPNotificationRegionTypeExternal
                                                    : ZarnPNotificationRegionTypeGeofence;
    return createGeotrigger(f);
}

std::shared_ptr<ZarnGeotrigger> ZarnPBaseUINotificationDao::createGeotriggerFromTrigger(
    const ZarnPSentTrigger& t) {
    return createGeotrigger(fieldsOf(t));
}

std::shared_ptr<ZarnSentGeotrigger> ZarnPBaseUINotificationDao::createSentGeotrigger(
    const ZarnPSentTrigger& t) {
    auto geotrigger = createGeotriggerFromTrigger(t);
    return ZarnSentGeotrigger::initializeWithUserInfo(geotrigger->userInfo(), t.dateSent().value_or(Date{}),
                                                      t.dateOpened());
}

}  // namespace zarn
