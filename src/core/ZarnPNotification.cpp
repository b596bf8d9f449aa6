#include "core/ZarnPNotification.h"

#include <functional>
#include <tuple>

#include "core/Format.h"
#include "core/ZarnPConstants.h"
#include "core/ZarnPNotificationHandlerUtil.h"
#include "zarn/Value.h"

namespace zarn {

namespace {

bool sameLocation(const std::optional<ZarnPLocation>& a, const std::optional<ZarnPLocation>& b) {
    if (!a || !b)
        return a.has_value() == b.has_value();
    return a->isEqual(*b);
}

Value dictionaryValue(const ZarnPNotification::StringDictionary& dictionary) {
    Value out = Value::object();
    for (const auto& [key, value] : dictionary) out[key] = value;
    return out;
}

}  // namespace

std::string ZarnPNotification::regionIdToString() const {
    return regionId_ ? *regionId_ : std::string(EMPTY_UUID);
}

std::string ZarnPNotification::getShortId() const {
    return format("%@;%@", campaignId_, regionIdToString());
}

std::string ZarnPNotification::getId() const {
    if (!experimentId_)
        return getShortId();
    return format("%@;%@;%@;%@", campaignId_, regionIdToString(), *experimentId_, experimentMessageNumber_);
}

bool ZarnPNotification::operator==(const ZarnPNotification& o) const {
    // Every field but the location, which compares by its own rule.
    auto fields = [](const ZarnPNotification& n) {
        return std::tie(n.campaignId_, n.regionId_, n.majorId_, n.minorId_, n.beaconUuid_, n.message_,
                        n.timespans_, n.data_, n.regionLabel_, n.matchRange_, n.triggerOnExit_,
                        n.notificationHandlerType_, n.dwellingMinutes_, n.cooldownGroups_, n.segmentationIds_,
                        n.segmentationProperties_, n.internalId_, n.experimentId_, n.experimentMessageNumber_,
                        n.customRegionFields_, n.triggerProperties_, n.matchPayload_, n.isPolygon_);
    };
    return fields(*this) == fields(o) && sameLocation(location_, o.location_);
}

std::size_t ZarnPNotification::hash() const {
    // A subset of the compared fields keeps equal notifications on equal hashes.
    std::size_t h = std::hash<std::string>{}(campaignId_);
    h = h * 31 + std::hash<std::string>{}(regionIdToString());
    h = h * 31 + std::hash<int64_t>{}(internalId_);
    h = h * 31 + std::hash<int32_t>{}(matchRange_);
    return h;
}

std::string ZarnPNotification::description() const {
    return format(
        "ZarnPNotification: campaignId=%@ regionId=%@ regionLabel=%@ message=%@ location=%@ majorId=%@ "
        "minorId=%@ beaconUuid=%@ timespans=%@ data=%@ matchRange=%d triggerOnExit=%@ "
        "notificationHandlerType=%@ dwellingMinutes=%d cooldownGroups=%@ segmentationIds=%@ "
        "segmentationProperties=%@ internalId=%lld customRegionFields=%@ experimentId=%@ "
        "experimentMessageNumber=%@",
        campaignId_, regionIdToString(), regionLabel_, message_, location_, majorId_, minorId_, beaconUuid_,
        timespans_, data_, matchRange_, triggerOnExit_ ? "YES" : "NO",
        ZarnPNotificationHandlerUtil::handlerToString(notificationHandlerType_), dwellingMinutes_,
        cooldownGroups_, segmentationIds_, segmentationProperties_, static_cast<long long>(internalId_),
        dictionaryValue(customRegionFields_), experimentId_, experimentMessageNumber_);
}

}  // namespace zarn
