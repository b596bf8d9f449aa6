#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/Uuid.h"
#include "core/ZarnPCooldownGroup.h"
#include "core/ZarnPLocation.h"
#include "core/ZarnPSegmentationProperty.h"
#include "core/ZarnPTimespan.h"

namespace zarn {

// A campaign's trigger at one place: a geofence (a point with a match range, or a polygon of
// circles) or an external region. The store builds one from its rows on every query and the
// matching works on it; it is never stored or sent as such. A plain mutable value: copying it
// copies every field. Used on one thread at a time.
class ZarnPNotification {
  public:
    using StringDictionary = std::map<std::string, std::string>;
    // A property stored without a value is nothing, never an empty text.
    using TriggerProperties = std::map<std::string, std::optional<std::string>>;

    ZarnPNotification() = default;

    const std::string& campaignId() const { return campaignId_; }
    void setCampaignId(std::string v) { campaignId_ = std::move(v); }
    const std::optional<std::string>& regionId() const { return regionId_; }
    void setRegionId(std::optional<std::string> v) { regionId_ = std::move(v); }
    // The geofence's centre; nothing for beacons and external regions.
    const std::optional<ZarnPLocation>& location() const { return location_; }
    void setLocation(std::optional<ZarnPLocation> v) { location_ = std::move(v); }
    const std::optional<int>& majorId() const { return majorId_; }
    void setMajorId(std::optional<int> v) { majorId_ = v; }
    const std::optional<int>& minorId() const { return minorId_; }
    void setMinorId(std::optional<int> v) { minorId_ = v; }
    const std::optional<Uuid>& beaconUuid() const { return beaconUuid_; }
    void setBeaconUuid(std::optional<Uuid> v) { beaconUuid_ = v; }
    const std::optional<std::string>& message() const { return message_; }
    void setMessage(std::optional<std::string> v) { message_ = std::move(v); }
    const std::vector<ZarnPTimespan>& timespans() const { return timespans_; }
    void setTimespans(std::vector<ZarnPTimespan> v) { timespans_ = std::move(v); }
    const std::optional<std::string>& data() const { return data_; }
    void setData(std::optional<std::string> v) { data_ = std::move(v); }
    const std::optional<std::string>& regionLabel() const { return regionLabel_; }
    void setRegionLabel(std::optional<std::string> v) { regionLabel_ = std::move(v); }
    int32_t matchRange() const { return matchRange_; }
    void setMatchRange(int32_t v) { matchRange_ = v; }
    bool triggerOnExit() const { return triggerOnExit_; }
    void setTriggerOnExit(bool v) { triggerOnExit_ = v; }
    uint32_t notificationHandlerType() const { return notificationHandlerType_; }
    void setNotificationHandlerType(uint32_t v) { notificationHandlerType_ = v; }
    // 0 or less: no dwelling.
    int32_t dwellingMinutes() const { return dwellingMinutes_; }
    void setDwellingMinutes(int32_t v) { dwellingMinutes_ = v; }
    const std::vector<ZarnPCooldownGroup>& cooldownGroups() const { return cooldownGroups_; }
    void setCooldownGroups(std::vector<ZarnPCooldownGroup> v) { cooldownGroups_ = std::move(v); }
    const std::vector<std::string>& segmentationIds() const { return segmentationIds_; }
    void setSegmentationIds(std::vector<std::string> v) { segmentationIds_ = std::move(v); }
    const std::vector<ZarnPSegmentationProperty>& segmentationProperties() const {
        return segmentationProperties_;
    }
    void setSegmentationProperties(std::vector<ZarnPSegmentationProperty> v) {
        segmentationProperties_ = std::move(v);
    }
    // The store's row id of the notification.
    int64_t internalId() const { return internalId_; }
    void setInternalId(int64_t v) { internalId_ = v; }
    const std::optional<std::string>& experimentId() const { return experimentId_; }
    void setExperimentId(std::optional<std::string> v) { experimentId_ = std::move(v); }
    const std::optional<int>& experimentMessageNumber() const { return experimentMessageNumber_; }
    void setExperimentMessageNumber(std::optional<int> v) { experimentMessageNumber_ = v; }
    const StringDictionary& customRegionFields() const { return customRegionFields_; }
    void setCustomRegionFields(StringDictionary v) { customRegionFields_ = std::move(v); }
    const TriggerProperties& triggerProperties() const { return triggerProperties_; }
    void setTriggerProperties(TriggerProperties v) { triggerProperties_ = std::move(v); }
    const StringDictionary& matchPayload() const { return matchPayload_; }
    void setMatchPayload(StringDictionary v) { matchPayload_ = std::move(v); }
    bool isPolygon() const { return isPolygon_; }
    void setIsPolygon(bool v) { isPolygon_ = v; }

    // regionId, or EMPTY_UUID without one.
    std::string regionIdToString() const;
    // "campaignId;region": the campaign-at-a-place key of matching, the state tables and region
    // monitoring.
    std::string getShortId() const;
    // With an experiment id "campaignId;region;experimentId;number" (the number in decimal,
    // "(null)" when not set), else getShortId(): the identifier of a scheduled notification and
    // of events.
    std::string getId() const;

    // Field by field.
    bool operator==(const ZarnPNotification& other) const;
    bool isEqual(const ZarnPNotification& other) const { return *this == other; }
    // Consistent with ==.
    std::size_t hash() const;
    // For debug log lines only.
    std::string description() const;

  private:
    std::string campaignId_;
    std::optional<std::string> regionId_;
    std::optional<ZarnPLocation> location_;
    std::optional<int> majorId_;
    std::optional<int> minorId_;
    std::optional<Uuid> beaconUuid_;
    std::optional<std::string> message_;
    std::vector<ZarnPTimespan> timespans_;
    std::optional<std::string> data_;
    std::optional<std::string> regionLabel_;
    int32_t matchRange_ = 0;
    bool triggerOnExit_ = false;
    uint32_t notificationHandlerType_ = 0;
    int32_t dwellingMinutes_ = 0;
    std::vector<ZarnPCooldownGroup> cooldownGroups_;
    std::vector<std::string> segmentationIds_;
    std::vector<ZarnPSegmentationProperty> segmentationProperties_;
    int64_t internalId_ = 0;
    std::optional<std::string> experimentId_;
    std::optional<int> experimentMessageNumber_;
    StringDictionary customRegionFields_;
    TriggerProperties triggerProperties_;
    StringDictionary matchPayload_;
    bool isPolygon_ = false;
};

}  // namespace zarn

template <>
struct std::hash<zarn::ZarnPNotification> {
    std::size_t operator()(const zarn::ZarnPNotification& n) const noexcept { return n.hash(); }
};
