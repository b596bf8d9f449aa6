#pragma once
// Builds data updates, the service's FlatBuffers answer, from a compact description: for tests,
// benchmarks, the example host and the test service. A field left out of the description is left
// out of the buffer, so it reads as the schema's default; a field that is set is written even
// when it equals the default.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zarn/Value.h"

namespace zarn::sim {

struct DataUpdateKeyValue {
    std::optional<std::string> key{};
    std::optional<std::string> value{};
};

struct DataUpdateLocation {
    float latitude = 0;
    float longitude = 0;
};

struct DataUpdateCircle {
    float centerLatitude = 0;
    float centerLongitude = 0;
    float radius = 0;
};

// One day packs opening hour, opening minute, closing hour and closing minute, lowest byte first.
struct DataUpdateOpeningHours {
    std::optional<uint32_t> monday{};
    std::optional<uint32_t> tuesday{};
    std::optional<uint32_t> wednesday{};
    std::optional<uint32_t> thursday{};
    std::optional<uint32_t> friday{};
    std::optional<uint32_t> saturday{};
    std::optional<uint32_t> sunday{};

    static uint32_t pack(unsigned openHour, unsigned openMinute, unsigned closeHour, unsigned closeMinute) {
        return (openHour & 0xFF) | (openMinute & 0xFF) << 8 | (closeHour & 0xFF) << 16 |
               (closeMinute & 0xFFu) << 24;
    }
};

struct DataUpdateTimeSpan {
    std::optional<int64_t> startTimestamp{};
    std::optional<int64_t> endTimestamp{};
};

struct DataUpdateSegmentationRule {
    std::optional<std::string> key{};
    std::optional<std::string> value{};
    std::optional<int8_t> propertyType{};
    std::optional<int8_t> segmentationOperator{};
    std::optional<int32_t> interval{};
    std::optional<int32_t> occurrences{};
};

struct DataUpdateCampaign {
    // Left out: the campaign's position in the description plus one.
    std::optional<uint32_t> temporaryId{};
    std::optional<std::string> campaignId{};
    std::optional<std::string> message{};
    std::optional<std::string> data{};
    std::optional<int8_t> handlerType{};
    bool triggerOnExit = false;
    bool ignoreAppCooldown = false;
    std::optional<int32_t> dwellingMinutes{};
    std::optional<std::string> experimentId{};
    std::optional<int32_t> experimentMessageId{};
    std::optional<int64_t> campaignStartTimestamp{};
    std::optional<int64_t> campaignEndTimestamp{};
    std::vector<DataUpdateSegmentationRule> segmentationProperties{};
    std::vector<DataUpdateTimeSpan> timeSpans{};
};

struct DataUpdateNotification {
    // The campaignId of a campaign of the same description; its temporary id is written.
    std::optional<std::string> campaign{};
    // Written as it stands, in place of the one `campaign` names.
    std::optional<uint32_t> temporaryCampaignId{};
    std::optional<std::string> geofenceId{};
    std::optional<std::string> label{};
    std::optional<std::string> beaconUuid{};
    std::optional<int32_t> beaconMajorId{};
    std::optional<int32_t> beaconMinorId{};
    std::optional<DataUpdateLocation> location{};
    std::optional<int32_t> matchRange{};
    std::optional<DataUpdateOpeningHours> openingHours{};
    std::vector<DataUpdateKeyValue> customRegionFields{};
    // Present (even empty) only when set.
    std::optional<std::vector<DataUpdateCircle>> circlesList{};
    std::vector<DataUpdateKeyValue> triggerProperties{};
};

struct DataUpdateTile {
    std::string value{};
    std::optional<int64_t> lastVersion{};
    std::vector<DataUpdateNotification> notifications{};
};

struct DataUpdateCooldownGroup {
    std::string id{};
    std::optional<int32_t> value{};
};

struct DataUpdateDescription {
    bool isQuickSyncUpdate = false;
    bool deleteAllOldData = false;
    bool deletePreviousServerSideSegmentationProperties = false;
    std::vector<DataUpdateCampaign> campaigns{};
    std::vector<DataUpdateTile> tiles{};
    // campaignId and geofenceId of each notification to delete.
    std::vector<DataUpdateKeyValue> deletedNotifications{};
    std::vector<DataUpdateCooldownGroup> cooldownGroups{};
    std::vector<DataUpdateKeyValue> serverSideSegmentationProperties{};
};

class DataUpdateBuilder {
  public:
    // Raises std::invalid_argument when a notification names a campaign the description lacks.
    static std::vector<uint8_t> build(const DataUpdateDescription& description);

    // The JSON form: an object whose keys are the member names above ("campaigns", "tiles",
    // "notifications", ...). A location is {"latitude", "longitude"}; a circle {"centerLatitude",
    // "centerLongitude", "radius"}; an opening-hours day a packed number or [openHour,
    // openMinute, closeHour, closeMinute]; handlerType a number or "regular", "geotrigger",
    // "applink", "landingPage", "contextualPage"; a deleted notification {"campaignId",
    // "geofenceId"} and a server segmentation value {"key", "value"}. Unknown keys and values of
    // the wrong type are refused: nothing, with the reason in `error`.
    static std::optional<DataUpdateDescription> fromJson(const Value& json, std::string* error = nullptr);
    // Reads and parses a file in the JSON form.
    static std::optional<DataUpdateDescription> loadFile(const std::string& path,
                                                         std::string* error = nullptr);
};

}  // namespace zarn::sim
