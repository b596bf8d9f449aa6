#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "core/ZarnPLocation.h"
#include "zarn/Date.h"

namespace zarn {

// A notification or geotrigger that the library showed or handed to the app, as the sent
// tables read it back. A plain mutable value; used on one thread at a time.
class ZarnPSentTrigger {
  public:
    using StringDictionary = std::map<std::string, std::string>;
    // A property stored without a value is nothing, never an empty text.
    using TriggerProperties = std::map<std::string, std::optional<std::string>>;

    ZarnPSentTrigger() = default;

    // The match run's identifier: unique per sending.
    const std::optional<std::string>& matchIdentifier() const { return matchIdentifier_; }
    void setMatchIdentifier(std::optional<std::string> v) { matchIdentifier_ = std::move(v); }
    // The notification's short id.
    const std::optional<std::string>& identifier() const { return identifier_; }
    void setIdentifier(std::optional<std::string> v) { identifier_ = std::move(v); }
    const std::optional<std::string>& identifierWithExperimentId() const {
        return identifierWithExperimentId_;
    }
    void setIdentifierWithExperimentId(std::optional<std::string> v) {
        identifierWithExperimentId_ = std::move(v);
    }
    const std::optional<std::string>& beaconUuid() const { return beaconUuid_; }
    void setBeaconUuid(std::optional<std::string> v) { beaconUuid_ = std::move(v); }
    // The text as shown, placeholders filled.
    const std::optional<std::string>& message() const { return message_; }
    void setMessage(std::optional<std::string> v) { message_ = std::move(v); }
    // The geofence's centre; nothing for other triggers.
    const std::optional<ZarnPLocation>& location() const { return location_; }
    void setLocation(std::optional<ZarnPLocation> v) { location_ = std::move(v); }
    // The action text.
    const std::optional<std::string>& data() const { return data_; }
    void setData(std::optional<std::string> v) { data_ = std::move(v); }
    int32_t matchRange() const { return matchRange_; }
    void setMatchRange(int32_t v) { matchRange_ = v; }
    bool triggerOnExit() const { return triggerOnExit_; }
    void setTriggerOnExit(bool v) { triggerOnExit_ = v; }
    uint32_t notificationHandlerType() const { return notificationHandlerType_; }
    void setNotificationHandlerType(uint32_t v) { notificationHandlerType_ = v; }
    int32_t dwellingMinutes() const { return dwellingMinutes_; }
    void setDwellingMinutes(int32_t v) { dwellingMinutes_ = v; }
    bool isBeacon() const { return isBeacon_; }
    void setIsBeacon(bool v) { isBeacon_ = v; }
    // 0 geofence, 1 beacon, 2 external.
    uint32_t regionType() const { return regionType_; }
    void setRegionType(uint32_t v) { regionType_ = v; }
    const StringDictionary& matchPayload() const { return matchPayload_; }
    void setMatchPayload(StringDictionary v) { matchPayload_ = std::move(v); }
    const TriggerProperties& triggerProperties() const { return triggerProperties_; }
    void setTriggerProperties(TriggerProperties v) { triggerProperties_ = std::move(v); }
    // Nothing while a dwelling notification waits for its time.
    const std::optional<Date>& dateSent() const { return dateSent_; }
    void setDateSent(std::optional<Date> v) { dateSent_ = v; }
    // Nothing until the user opened it (or the app handled the geotrigger).
    const std::optional<Date>& dateOpened() const { return dateOpened_; }
    void setDateOpened(std::optional<Date> v) { dateOpened_ = v; }

    // The sending as the user saw it: the identifier with experiment, the region type and the
    // two dictionaries take no part.
    bool isEqual(const ZarnPSentTrigger& other) const;
    bool operator==(const ZarnPSentTrigger& other) const { return isEqual(other); }
    std::string description() const;

  private:
    std::optional<std::string> matchIdentifier_;
    std::optional<std::string> identifier_;
    std::optional<std::string> identifierWithExperimentId_;
    std::optional<std::string> beaconUuid_;
    std::optional<std::string> message_;
    std::optional<ZarnPLocation> location_;
    std::optional<std::string> data_;
    int32_t matchRange_ = 0;
    bool triggerOnExit_ = false;
    uint32_t notificationHandlerType_ = 0;
    int32_t dwellingMinutes_ = 0;
    bool isBeacon_ = false;
    uint32_t regionType_ = 0;
    StringDictionary matchPayload_;
    TriggerProperties triggerProperties_;
    std::optional<Date> dateSent_;
    std::optional<Date> dateOpened_;
};

}  // namespace zarn
