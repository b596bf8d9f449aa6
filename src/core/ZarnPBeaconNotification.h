#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ZarnPCooldownGroup.h"
#include "core/ZarnPSegmentationProperty.h"
#include "core/ZarnPTimespan.h"

namespace zarn {

// The beacon form of a campaign's trigger: one iBeacon region. Built by the beacon store from its
// rows, worked on by beacon matching; never stored or sent as such. A plain mutable value. Used
// on one thread at a time.
class ZarnPBeaconNotification {
  public:
    ZarnPBeaconNotification() = default;

    // "campaignId;regionId", as stored.
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string v) { identifier_ = std::move(v); }
    // The proximity UUID as text.
    const std::string& beaconUuid() const { return beaconUuid_; }
    void setBeaconUuid(std::string v) { beaconUuid_ = std::move(v); }
    const std::optional<std::string>& message() const { return message_; }
    void setMessage(std::optional<std::string> v) { message_ = std::move(v); }
    const std::optional<int>& majorId() const { return majorId_; }
    void setMajorId(std::optional<int> v) { majorId_ = v; }
    const std::optional<int>& minorId() const { return minorId_; }
    void setMinorId(std::optional<int> v) { minorId_ = v; }
    const std::vector<ZarnPTimespan>& timespans() const { return timespans_; }
    void setTimespans(std::vector<ZarnPTimespan> v) { timespans_ = std::move(v); }
    const std::optional<std::string>& data() const { return data_; }
    void setData(std::optional<std::string> v) { data_ = std::move(v); }
    // Metres, compared with the distance of the beacon's proximity.
    int32_t matchRange() const { return matchRange_; }
    void setMatchRange(int32_t v) { matchRange_ = v; }
    // Already offered in the current sighting.
    bool offeredForMatch() const { return offeredForMatch_; }
    void setOfferedForMatch(bool v) { offeredForMatch_ = v; }
    bool triggerOnExit() const { return triggerOnExit_; }
    void setTriggerOnExit(bool v) { triggerOnExit_ = v; }
    uint32_t notificationHandlerType() const { return notificationHandlerType_; }
    void setNotificationHandlerType(uint32_t v) { notificationHandlerType_ = v; }
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

    bool operator==(const ZarnPBeaconNotification&) const = default;
    // Consistent with ==.
    std::size_t hash() const;
    std::string description() const;

  private:
    std::string identifier_;
    std::string beaconUuid_;
    std::optional<std::string> message_;
    std::optional<int> majorId_;
    std::optional<int> minorId_;
    std::vector<ZarnPTimespan> timespans_;
    std::optional<std::string> data_;
    int32_t matchRange_ = 0;
    bool offeredForMatch_ = false;
    bool triggerOnExit_ = false;
    uint32_t notificationHandlerType_ = 0;
    int32_t dwellingMinutes_ = 0;
    std::vector<ZarnPCooldownGroup> cooldownGroups_;
    std::vector<std::string> segmentationIds_;
    std::vector<ZarnPSegmentationProperty> segmentationProperties_;
};

}  // namespace zarn

template <>
struct std::hash<zarn::ZarnPBeaconNotification> {
    std::size_t operator()(const zarn::ZarnPBeaconNotification& n) const noexcept { return n.hash(); }
};
