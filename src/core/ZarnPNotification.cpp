#include "core/ZarnPNotification.h"

#include <functional>

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
    return campaignId_ == o.campaignId_ && regionId_ == o.regionId_ && sameLocation(location_, o.location_) &&
           majorId_ == o.majorId_ && minorId_ == o.minorId_ && beaconUuid_ == o.beaconUuid_ &&
           message_ == o.message_ && timespans_ == o.timespans_ && data_ == o.data_ &&
           regionLabel_ == o.regionLabel_ && matchRange_ == o.matchRange_ &&
           triggerOnExit_ == o.triggerOnExit_ && notificationHandlerType_ == o.notificationHandlerType_ &&
           dwellingMinutes_ == o.dwellingMinutes_ && cooldownGroups_ == o.cooldownGroups_ &&
           segmentationIds_ == o.segmentationIds_ && segmentationProperties_ == o.segmentationProperties_ &&
           internalId_ == o.internalId_ && experimentId_ == o.experimentId_ &&
           experimentMessageNumber_ == o.experimentMessageNumber_ &&
           customRegionFields_ == o.customRegionFields_ && triggerProperties_ == o.triggerProperties_ &&
           matchPayload_ == o.matchPayload_ && isPolygon_ == o.isPolygon_;
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
