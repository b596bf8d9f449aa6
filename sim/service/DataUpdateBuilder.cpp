#include "sim/service/DataUpdateBuilder.h"

#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>

#include "flatbuffers/flatbuffers.h"
#include "schema/dataupdate_generated.h"

namespace zarn::sim {

namespace fb = com::zarnkit::velto::dataupdate::fb;

namespace {

using flatbuffers::FlatBufferBuilder;
using flatbuffers::Offset;

Offset<flatbuffers::String> string(FlatBufferBuilder& b, const std::optional<std::string>& s) {
    return s ? b.CreateString(*s) : Offset<flatbuffers::String>();
}

template <typename T, typename F>
auto vectorOf(FlatBufferBuilder& b, const std::vector<T>& items, F&& make) {
    using O = decltype(make(items.front()));
    if (items.empty())
        return Offset<flatbuffers::Vector<O>>();
    std::vector<O> offsets;
    offsets.reserve(items.size());
    for (const auto& item : items) offsets.push_back(make(item));
    return b.CreateVector(offsets);
}

template <typename Builder, typename T, typename Add>
void addIf(Builder& builder, const std::optional<T>& value, Add add) {
    if (value)
        (builder.*add)(*value);
}

template <typename Table>
Offset<Table> keyValue(FlatBufferBuilder& b, const DataUpdateKeyValue& kv) {
    auto key = string(b, kv.key);
    auto value = string(b, kv.value);
    flatbuffers::uoffset_t start = b.StartTable();
    b.AddOffset(4, key);
    b.AddOffset(6, value);
    return Offset<Table>(b.EndTable(start));
}

Offset<fb::OpeningHoursDTO> openingHours(FlatBufferBuilder& b, const DataUpdateOpeningHours& h) {
    fb::OpeningHoursDTOBuilder builder(b);
    addIf(builder, h.monday, &fb::OpeningHoursDTOBuilder::add_monday);
    addIf(builder, h.tuesday, &fb::OpeningHoursDTOBuilder::add_tuesday);
    addIf(builder, h.wednesday, &fb::OpeningHoursDTOBuilder::add_wednesday);
    addIf(builder, h.thursday, &fb::OpeningHoursDTOBuilder::add_thursday);
    addIf(builder, h.friday, &fb::OpeningHoursDTOBuilder::add_friday);
    addIf(builder, h.saturday, &fb::OpeningHoursDTOBuilder::add_saturday);
    addIf(builder, h.sunday, &fb::OpeningHoursDTOBuilder::add_sunday);
    return builder.Finish();
}

Offset<fb::NotificationDTO> notification(FlatBufferBuilder& b, const DataUpdateNotification& n,
                                         const std::map<std::string, uint32_t>& temporaryIds) {
    std::optional<uint32_t> temporaryId = n.temporaryCampaignId;
    if (!temporaryId && n.campaign) {
        auto it = temporaryIds.find(*n.campaign);
        if (it == temporaryIds.end())
            throw std::invalid_argument("notification names an unknown campaign: " + *n.campaign);
        temporaryId = it->second;
    }
    auto geofenceId = string(b, n.geofenceId);
    auto label = string(b, n.label);
    auto beaconUuid = string(b, n.beaconUuid);
    auto hours = n.openingHours ? openingHours(b, *n.openingHours) : Offset<fb::OpeningHoursDTO>();
    auto fields = vectorOf(b, n.customRegionFields, [&](const DataUpdateKeyValue& kv) {
        return keyValue<fb::CustomRegionFieldDTO>(b, kv);
    });
    Offset<flatbuffers::Vector<const fb::CircleDTO*>> circles;
    if (n.circlesList) {
        std::vector<fb::CircleDTO> structs;
        for (const auto& c : *n.circlesList)
            structs.emplace_back(c.centerLatitude, c.centerLongitude, c.radius);
        circles = b.CreateVectorOfStructs(structs);
    }
    auto properties = vectorOf(b, n.triggerProperties, [&](const DataUpdateKeyValue& kv) {
        return keyValue<fb::TriggerPropertyDTO>(b, kv);
    });
    fb::NotificationDTOBuilder builder(b);
    addIf(builder, temporaryId, &fb::NotificationDTOBuilder::add_temporaryCampaignId);
    builder.add_geofenceId(geofenceId);
    builder.add_label(label);
    builder.add_beaconUuid(beaconUuid);
    addIf(builder, n.beaconMajorId, &fb::NotificationDTOBuilder::add_beaconMajorId);
    addIf(builder, n.beaconMinorId, &fb::NotificationDTOBuilder::add_beaconMinorId);
    fb::LocationDTO location;
    if (n.location) {
        location = fb::LocationDTO(n.location->latitude, n.location->longitude);
        builder.add_location(&location);
    }
    addIf(builder, n.matchRange, &fb::NotificationDTOBuilder::add_matchRange);
    builder.add_openingHours(hours);
    builder.add_customRegionFields(fields);
    builder.add_circlesList(circles);
    builder.add_triggerProperties(properties);
    return builder.Finish();
}

Offset<fb::CampaignDTO> campaign(FlatBufferBuilder& b, const DataUpdateCampaign& c, uint32_t temporaryId) {
    auto campaignId = string(b, c.campaignId);
    auto message = string(b, c.message);
    auto data = string(b, c.data);
    auto experimentId = string(b, c.experimentId);
    auto rules = vectorOf(b, c.segmentationProperties, [&](const DataUpdateSegmentationRule& r) {
        auto key = string(b, r.key);
        auto value = string(b, r.value);
        fb::SegmentationPropertyDTOBuilder builder(b);
        builder.add_key(key);
        builder.add_value(value);
        if (r.propertyType)
            builder.add_propertyType(static_cast<fb::SegmentationPropertyType>(*r.propertyType));
        if (r.segmentationOperator)
            builder.add_operator_(static_cast<fb::SegmentationOperator>(*r.segmentationOperator));
        addIf(builder, r.interval, &fb::SegmentationPropertyDTOBuilder::add_interval);
        addIf(builder, r.occurrences, &fb::SegmentationPropertyDTOBuilder::add_occurrences);
        return builder.Finish();
    });
    auto spans = vectorOf(b, c.timeSpans, [&](const DataUpdateTimeSpan& s) {
        fb::TimeSpanDTOBuilder builder(b);
        addIf(builder, s.startTimestamp, &fb::TimeSpanDTOBuilder::add_startTimestamp);
        addIf(builder, s.endTimestamp, &fb::TimeSpanDTOBuilder::add_endTimestamp);
        return builder.Finish();
    });
    fb::CampaignDTOBuilder builder(b);
    builder.add_temporaryId(temporaryId);
    builder.add_campaignId(campaignId);
    builder.add_message(message);
    builder.add_data(data);
    if (c.handlerType)
        builder.add_handlerType(static_cast<fb::HandlerType>(*c.handlerType));
    if (c.triggerOnExit)
        builder.add_triggerOnExit(true);
    if (c.ignoreAppCooldown)
        builder.add_ignoreAppCooldown(true);
    addIf(builder, c.dwellingMinutes, &fb::CampaignDTOBuilder::add_dwellingMinutes);
    builder.add_experimentId(experimentId);
    addIf(builder, c.experimentMessageId, &fb::CampaignDTOBuilder::add_experimentMessageId);
    addIf(builder, c.campaignStartTimestamp, &fb::CampaignDTOBuilder::add_campaignStartTimestamp);
    addIf(builder, c.campaignEndTimestamp, &fb::CampaignDTOBuilder::add_campaignEndTimestamp);
    builder.add_segmentationProperties(rules);
    builder.add_timeSpans(spans);
    return builder.Finish();
}

}  // namespace

std::vector<uint8_t> DataUpdateBuilder::build(const DataUpdateDescription& d) {
    FlatBufferBuilder b(1024);
    // Only the fields the description sets are added, and each of those is written.
    b.ForceDefaults(true);

    std::map<std::string, uint32_t> temporaryIds;
    std::vector<Offset<fb::CampaignDTO>> campaigns;
    for (size_t i = 0; i < d.campaigns.size(); ++i) {
        uint32_t temporaryId = d.campaigns[i].temporaryId.value_or(static_cast<uint32_t>(i + 1));
        if (d.campaigns[i].campaignId)
            temporaryIds.emplace(*d.campaigns[i].campaignId, temporaryId);
        campaigns.push_back(campaign(b, d.campaigns[i], temporaryId));
    }
    auto campaignVector = campaigns.empty() ? Offset<flatbuffers::Vector<Offset<fb::CampaignDTO>>>()
                                            : b.CreateVector(campaigns);
    auto tiles = vectorOf(b, d.tiles, [&](const DataUpdateTile& t) {
        auto notifications = vectorOf(b, t.notifications, [&](const DataUpdateNotification& n) {
            return notification(b, n, temporaryIds);
        });
        auto value = b.CreateString(t.value);
        fb::GeohashDTOBuilder builder(b);
        builder.add_value(value);
        addIf(builder, t.lastVersion, &fb::GeohashDTOBuilder::add_lastVersion);
        builder.add_changedNotifications(notifications);
        return builder.Finish();
    });
    auto deletions = vectorOf(b, d.deletedNotifications, [&](const DataUpdateKeyValue& kv) {
        return keyValue<fb::CompleteNotificationIdDTO>(b, kv);
    });
    auto groups = vectorOf(b, d.cooldownGroups, [&](const DataUpdateCooldownGroup& g) {
        auto id = b.CreateString(g.id);
        fb::CooldownGroupDTOBuilder builder(b);
        builder.add_id(id);
        addIf(builder, g.value, &fb::CooldownGroupDTOBuilder::add_value);
        return builder.Finish();
    });
    auto segmentation = vectorOf(b, d.serverSideSegmentationProperties, [&](const DataUpdateKeyValue& kv) {
        // The key is required: a missing one is written empty.
        auto key = b.CreateString(kv.key.value_or(""));
        auto value = string(b, kv.value);
        fb::ServerSideSegmentationPropertyDTOBuilder builder(b);
        builder.add_key(key);
        builder.add_value(value);
        return builder.Finish();
    });

    fb::DataUpdateResponseDTOBuilder root(b);
    if (d.isQuickSyncUpdate)
        root.add_isQuickSyncUpdate(true);
    root.add_updatedGeohashes(tiles);
    root.add_deletedNotifications(deletions);
    root.add_campaigns(campaignVector);
    root.add_cooldownGroups(groups);
    if (d.deleteAllOldData)
        root.add_deleteAllOldData(true);
    root.add_serverSideSegmentationProperties(segmentation);
    if (d.deletePreviousServerSideSegmentationProperties)
        root.add_deletePreviousServerSideSegmentationProperties(true);
    b.Finish(root.Finish());
    return std::vector<uint8_t>(b.GetBufferPointer(), b.GetBufferPointer() + b.GetSize());
}

}  // namespace zarn::sim

namespace zarn::sim {

namespace {

// Reads the JSON form; the first problem ends the reading with its path in the message.
class JsonReader {
  public:
    struct Failure {
        std::string message;
    };

    // Every key of `object` must be one of `known`.
    static void onlyKeys(const Value& object, const std::string& where,
                         std::initializer_list<const char*> known) {
        if (!object.is_object())
            throw Failure{where + " is not an object"};
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool found = false;
            for (const char* k : known) found = found || it.key() == k;
            if (!found)
                throw Failure{where + " has an unknown key \"" + it.key() + "\""};
        }
    }

    static const Value* member(const Value& object, const char* key) {
        auto it = object.find(key);
        return it == object.end() || it->is_null() ? nullptr : &*it;
    }

    static void text(const Value& o, const char* key, const std::string& where,
                     std::optional<std::string>& out) {
        if (const Value* v = member(o, key)) {
            if (!v->is_string())
                throw Failure{where + "." + key + " is not a string"};
            out = v->get<std::string>();
        }
    }

    static void flag(const Value& o, const char* key, const std::string& where, bool& out) {
        if (const Value* v = member(o, key)) {
            if (!v->is_boolean())
                throw Failure{where + "." + key + " is not a boolean"};
            out = v->get<bool>();
        }
    }

    template <typename T>
    static T integer(const Value& v, const std::string& where) {
        if (!v.is_number_integer())
            throw Failure{where + " is not an integer"};
        if (v.is_number_unsigned()) {
            auto u = v.get<uint64_t>();
            if (u > static_cast<uint64_t>(std::numeric_limits<T>::max()))
                throw Failure{where + " is out of range"};
            return static_cast<T>(u);
        }
        auto i = v.get<int64_t>();
        if (i < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
            (i > 0 && static_cast<uint64_t>(i) > static_cast<uint64_t>(std::numeric_limits<T>::max())))
            throw Failure{where + " is out of range"};
        return static_cast<T>(i);
    }

    template <typename T>
    static void number(const Value& o, const char* key, const std::string& where, std::optional<T>& out) {
        if (const Value* v = member(o, key))
            out = integer<T>(*v, where + "." + key);
    }

    static float real(const Value& o, const char* key, const std::string& where) {
        const Value* v = member(o, key);
        if (!v || !v->is_number())
            throw Failure{where + "." + key + " is not a number"};
        return v->get<float>();
    }

    template <typename T, typename F>
    static void list(const Value& o, const char* key, const std::string& where, std::vector<T>& out,
                     F&& read) {
        const Value* v = member(o, key);
        if (!v)
            return;
        if (!v->is_array())
            throw Failure{where + "." + key + " is not an array"};
        for (size_t i = 0; i < v->size(); ++i)
            out.push_back(read((*v)[i], where + "." + key + "[" + std::to_string(i) + "]"));
    }

    static DataUpdateKeyValue keyValue(const Value& v, const std::string& where, const char* first,
                                       const char* second) {
        onlyKeys(v, where, {first, second});
        DataUpdateKeyValue kv;
        text(v, first, where, kv.key);
        text(v, second, where, kv.value);
        return kv;
    }

    static std::optional<uint32_t> day(const Value& o, const char* key, const std::string& where) {
        const Value* v = member(o, key);
        if (!v)
            return std::nullopt;
        if (v->is_array()) {
            if (v->size() != 4)
                throw Failure{where + "." + key + " needs four numbers"};
            unsigned parts[4];
            for (size_t i = 0; i < 4; ++i) parts[i] = integer<uint8_t>((*v)[i], where + "." + key);
            return DataUpdateOpeningHours::pack(parts[0], parts[1], parts[2], parts[3]);
        }
        return integer<uint32_t>(*v, where + "." + key);
    }

    static int8_t handlerType(const Value& v, const std::string& where) {
        if (v.is_string()) {
            static const std::map<std::string, int8_t> names = {{"none", 0},        {"regular", 1},
                                                                {"geotrigger", 2},  {"applink", 3},
                                                                {"landingPage", 4}, {"contextualPage", 5}};
            auto it = names.find(v.get<std::string>());
            if (it == names.end())
                throw Failure{where + " names no handler type"};
            return it->second;
        }
        return integer<int8_t>(v, where);
    }

    static DataUpdateSegmentationRule rule(const Value& v, const std::string& where) {
        onlyKeys(v, where,
                 {"key", "value", "propertyType", "segmentationOperator", "interval", "occurrences"});
        DataUpdateSegmentationRule r;
        text(v, "key", where, r.key);
        text(v, "value", where, r.value);
        number(v, "propertyType", where, r.propertyType);
        number(v, "segmentationOperator", where, r.segmentationOperator);
        number(v, "interval", where, r.interval);
        number(v, "occurrences", where, r.occurrences);
        return r;
    }

    static DataUpdateCampaign campaign(const Value& v, const std::string& where) {
        onlyKeys(v, where,
                 {"temporaryId", "campaignId", "message", "data", "handlerType", "triggerOnExit",
                  "ignoreAppCooldown", "dwellingMinutes", "experimentId", "experimentMessageId",
                  "campaignStartTimestamp", "campaignEndTimestamp", "segmentationProperties", "timeSpans"});
        DataUpdateCampaign c;
        number(v, "temporaryId", where, c.temporaryId);
        text(v, "campaignId", where, c.campaignId);
        text(v, "message", where, c.message);
        text(v, "data", where, c.data);
        if (const Value* h = member(v, "handlerType"))
            c.handlerType = handlerType(*h, where + ".handlerType");
        flag(v, "triggerOnExit", where, c.triggerOnExit);
        flag(v, "ignoreAppCooldown", where, c.ignoreAppCooldown);
        number(v, "dwellingMinutes", where, c.dwellingMinutes);
        text(v, "experimentId", where, c.experimentId);
        number(v, "experimentMessageId", where, c.experimentMessageId);
        number(v, "campaignStartTimestamp", where, c.campaignStartTimestamp);
        number(v, "campaignEndTimestamp", where, c.campaignEndTimestamp);
        list(v, "segmentationProperties", where, c.segmentationProperties, rule);
        list(v, "timeSpans", where, c.timeSpans, [](const Value& s, const std::string& w) {
            onlyKeys(s, w, {"startTimestamp", "endTimestamp"});
            DataUpdateTimeSpan span;
            number(s, "startTimestamp", w, span.startTimestamp);
            number(s, "endTimestamp", w, span.endTimestamp);
            return span;
        });
        return c;
    }

    static DataUpdateNotification notification(const Value& v, const std::string& where) {
        onlyKeys(v, where,
                 {"campaign", "temporaryCampaignId", "geofenceId", "label", "beaconUuid", "beaconMajorId",
                  "beaconMinorId", "location", "matchRange", "openingHours", "customRegionFields",
                  "circlesList", "triggerProperties"});
        DataUpdateNotification n;
        text(v, "campaign", where, n.campaign);
        number(v, "temporaryCampaignId", where, n.temporaryCampaignId);
        text(v, "geofenceId", where, n.geofenceId);
        text(v, "label", where, n.label);
        text(v, "beaconUuid", where, n.beaconUuid);
        number(v, "beaconMajorId", where, n.beaconMajorId);
        number(v, "beaconMinorId", where, n.beaconMinorId);
        if (const Value* l = member(v, "location")) {
            onlyKeys(*l, where + ".location", {"latitude", "longitude"});
            n.location = DataUpdateLocation{real(*l, "latitude", where + ".location"),
                                            real(*l, "longitude", where + ".location")};
        }
        number(v, "matchRange", where, n.matchRange);
        if (const Value* h = member(v, "openingHours")) {
            std::string w = where + ".openingHours";
            onlyKeys(*h, w, {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"});
            n.openingHours = DataUpdateOpeningHours{
                day(*h, "monday", w), day(*h, "tuesday", w),  day(*h, "wednesday", w), day(*h, "thursday", w),
                day(*h, "friday", w), day(*h, "saturday", w), day(*h, "sunday", w)};
        }
        auto kv = [](const Value& e, const std::string& w) { return keyValue(e, w, "key", "value"); };
        list(v, "customRegionFields", where, n.customRegionFields, kv);
        if (member(v, "circlesList")) {
            n.circlesList.emplace();
            list(v, "circlesList", where, *n.circlesList, [](const Value& c, const std::string& w) {
                onlyKeys(c, w, {"centerLatitude", "centerLongitude", "radius"});
                return DataUpdateCircle{real(c, "centerLatitude", w), real(c, "centerLongitude", w),
                                        real(c, "radius", w)};
            });
        }
        list(v, "triggerProperties", where, n.triggerProperties, kv);
        return n;
    }

    static DataUpdateDescription description(const Value& v) {
        const std::string where = "update";
        onlyKeys(v, where,
                 {"isQuickSyncUpdate", "deleteAllOldData", "deletePreviousServerSideSegmentationProperties",
                  "campaigns", "tiles", "deletedNotifications", "cooldownGroups",
                  "serverSideSegmentationProperties"});
        DataUpdateDescription d;
        flag(v, "isQuickSyncUpdate", where, d.isQuickSyncUpdate);
        flag(v, "deleteAllOldData", where, d.deleteAllOldData);
        flag(v, "deletePreviousServerSideSegmentationProperties", where,
             d.deletePreviousServerSideSegmentationProperties);
        list(v, "campaigns", where, d.campaigns, campaign);
        list(v, "tiles", where, d.tiles, [](const Value& t, const std::string& w) {
            onlyKeys(t, w, {"value", "lastVersion", "notifications"});
            DataUpdateTile tile;
            std::optional<std::string> value;
            text(t, "value", w, value);
            if (!value)
                throw Failure{w + ".value is required"};
            tile.value = *value;
            number(t, "lastVersion", w, tile.lastVersion);
            list(t, "notifications", w, tile.notifications, notification);
            return tile;
        });
        list(v, "deletedNotifications", where, d.deletedNotifications,
             [](const Value& e, const std::string& w) { return keyValue(e, w, "campaignId", "geofenceId"); });
        list(v, "cooldownGroups", where, d.cooldownGroups, [](const Value& g, const std::string& w) {
            onlyKeys(g, w, {"id", "value"});
            DataUpdateCooldownGroup group;
            std::optional<std::string> id;
            text(g, "id", w, id);
            if (!id)
                throw Failure{w + ".id is required"};
            group.id = *id;
            number(g, "value", w, group.value);
            return group;
        });
        list(v, "serverSideSegmentationProperties", where, d.serverSideSegmentationProperties,
             [](const Value& e, const std::string& w) { return keyValue(e, w, "key", "value"); });
        // Every campaign a notification names must be in the update.
        std::map<std::string, bool> campaignIds;
        for (const auto& c : d.campaigns)
            if (c.campaignId)
                campaignIds[*c.campaignId] = true;
        for (const auto& t : d.tiles)
            for (const auto& n : t.notifications)
                if (n.campaign && !n.temporaryCampaignId && !campaignIds.count(*n.campaign))
                    throw Failure{"a notification of tile " + t.value + " names the unknown campaign " +
                                  *n.campaign};
        return d;
    }
};

}  // namespace

std::optional<DataUpdateDescription> DataUpdateBuilder::fromJson(const Value& json, std::string* error) {
    try {
        return JsonReader::description(json);
    } catch (const JsonReader::Failure& failure) {
        if (error)
            *error = failure.message;
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
    }
    return std::nullopt;
}

std::optional<DataUpdateDescription> DataUpdateBuilder::loadFile(const std::string& path,
                                                                 std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot read " + path;
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    Value json = Value::parse(text.str(), nullptr, false);
    if (json.is_discarded()) {
        if (error)
            *error = path + " is not JSON";
        return std::nullopt;
    }
    return fromJson(json, error);
}

}  // namespace zarn::sim
