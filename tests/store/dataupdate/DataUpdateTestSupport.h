#pragma once
// Data-update tables built directly with the generated builders, and the data-update stores on a
// fresh database, for the tests of the table writers.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "schema/dataupdate_generated.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPGeohashReadDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteNotificationAreaDao.h"
#include "store/ZarnPSqlValue.h"
#include "store/dataupdate/ZarnPSqLiteCampaignDao.h"
#include "store/dataupdate/ZarnPSqLiteCustomRegionFieldsDao.h"
#include "store/dataupdate/ZarnPSqLiteGeohashDao.h"
#include "store/dataupdate/ZarnPSqLiteGeohashNotificationDao.h"
#include "store/dataupdate/ZarnPSqLiteNotificationWriteDao.h"
#include "store/dataupdate/ZarnPSqLitePolygonDao.h"
#include "store/dataupdate/ZarnPSqLiteSegmentationPropertiesDao.h"
#include "store/dataupdate/ZarnPSqLiteTimeSpanDao.h"
#include "store/dataupdate/ZarnPSqLiteTriggerPropertiesDao.h"

namespace zarn::test {

namespace fbs = com::zarnkit::velto::dataupdate::fb;
using KeyValues = std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>>;

struct CircleSpec {
    float latitude, longitude, radius;
};

struct NotificationSpec {
    std::optional<std::string> geofenceId;
    std::optional<std::string> label;
    std::optional<std::string> beaconUuid;
    std::optional<int32_t> majorId;
    std::optional<int32_t> minorId;
    std::optional<std::pair<float, float>> location;
    std::optional<int32_t> matchRange;
    std::optional<std::array<uint32_t, 7>> openingHours;
    KeyValues customRegionFields;
    KeyValues triggerProperties;
    std::optional<std::vector<CircleSpec>> circles;
    uint32_t temporaryCampaignId = 0;
};

struct SegmentationSpec {
    std::optional<std::string> key;
    std::optional<std::string> value;
    int8_t propertyType = 0;
    int8_t op = 0;
    std::optional<int32_t> interval;
    std::optional<int32_t> occurrences;
};

struct CampaignSpec {
    std::optional<std::string> campaignId;
    std::optional<std::string> message;
    std::optional<std::string> data;
    int8_t handlerType = 0;
    bool triggerOnExit = false;
    bool ignoreAppCooldown = false;
    std::optional<int32_t> dwellingMinutes;
    std::optional<std::string> experimentId;
    std::optional<int32_t> experimentMessageId;
    std::optional<int64_t> start;
    std::optional<int64_t> end;
    std::vector<std::pair<std::optional<int64_t>, std::optional<int64_t>>> timeSpans;
    std::vector<SegmentationSpec> segmentationProperties;
    uint32_t temporaryId = 0;
};

// The first row of a query on a second connection to the file, each column by its stored type.
inline std::vector<ZarnPSqlValue> rowValues(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::vector<ZarnPSqlValue> out;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_INTEGER:
                    out.emplace_back(static_cast<int64_t>(sqlite3_column_int64(stmt, i)));
                    break;
                case SQLITE_FLOAT:
                    out.emplace_back(sqlite3_column_double(stmt, i));
                    break;
                case SQLITE_TEXT:
                    out.emplace_back(
                        std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i))));
                    break;
                default:
                    out.emplace_back(nullptr);
                    break;
            }
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

inline std::string describeValue(const ZarnPSqlValue& v) {
    switch (v.type()) {
        case ZarnPSqlValue::Type::Null:
            return "NULL";
        case ZarnPSqlValue::Type::Integer:
            return "int " + std::to_string(v.integer());
        case ZarnPSqlValue::Type::Double:
            return "real " + std::to_string(v.real());
        case ZarnPSqlValue::Type::Text:
            return "'" + v.text() + "'";
        default:
            return "blob";
    }
}

// One buffer under construction; root() finishes it, verifies it and reads its root.
class Buffer {
  public:
    flatbuffers::FlatBufferBuilder builder;

    flatbuffers::Offset<flatbuffers::String> string(const std::optional<std::string>& s) {
        return s ? builder.CreateString(*s) : flatbuffers::Offset<flatbuffers::String>();
    }

    template <typename Table>
    flatbuffers::Offset<flatbuffers::Vector<flatbuffers::Offset<Table>>> keyValues(const KeyValues& entries) {
        std::vector<flatbuffers::Offset<Table>> out;
        for (const auto& [key, value] : entries) {
            auto k = string(key);
            auto v = string(value);
            typename Table::Builder b(builder);
            if (key)
                b.add_key(k);
            if (value)
                b.add_value(v);
            out.push_back(b.Finish());
        }
        return builder.CreateVector(out);
    }

    flatbuffers::Offset<fbs::NotificationDTO> notification(const NotificationSpec& n) {
        auto geofenceId = string(n.geofenceId);
        auto label = string(n.label);
        auto beaconUuid = string(n.beaconUuid);
        flatbuffers::Offset<fbs::OpeningHoursDTO> hours;
        if (n.openingHours) {
            const auto& d = *n.openingHours;
            hours = fbs::CreateOpeningHoursDTO(builder, d[0], d[1], d[2], d[3], d[4], d[5], d[6]);
        }
        auto fields =
            n.customRegionFields.empty() ? 0 : keyValues<fbs::CustomRegionFieldDTO>(n.customRegionFields);
        auto triggers =
            n.triggerProperties.empty() ? 0 : keyValues<fbs::TriggerPropertyDTO>(n.triggerProperties);
        flatbuffers::Offset<flatbuffers::Vector<const fbs::CircleDTO*>> circles;
        if (n.circles) {
            std::vector<fbs::CircleDTO> structs;
            for (const auto& c : *n.circles) structs.emplace_back(c.latitude, c.longitude, c.radius);
            circles = builder.CreateVectorOfStructs(structs);
        }
        fbs::NotificationDTOBuilder b(builder);
        b.add_temporaryCampaignId(n.temporaryCampaignId);
        if (n.geofenceId)
            b.add_geofenceId(geofenceId);
        if (n.label)
            b.add_label(label);
        if (n.beaconUuid)
            b.add_beaconUuid(beaconUuid);
        if (n.majorId)
            b.add_beaconMajorId(*n.majorId);
        if (n.minorId)
            b.add_beaconMinorId(*n.minorId);
        fbs::LocationDTO location(n.location ? n.location->first : 0, n.location ? n.location->second : 0);
        if (n.location)
            b.add_location(&location);
        if (n.matchRange)
            b.add_matchRange(*n.matchRange);
        if (n.openingHours)
            b.add_openingHours(hours);
        if (!n.customRegionFields.empty())
            b.add_customRegionFields(fields);
        if (n.circles)
            b.add_circlesList(circles);
        if (!n.triggerProperties.empty())
            b.add_triggerProperties(triggers);
        return b.Finish();
    }

    flatbuffers::Offset<fbs::CampaignDTO> campaign(const CampaignSpec& c) {
        std::vector<flatbuffers::Offset<fbs::TimeSpanDTO>> spans;
        for (const auto& [start, end] : c.timeSpans) {
            fbs::TimeSpanDTOBuilder b(builder);
            if (start)
                b.add_startTimestamp(*start);
            if (end)
                b.add_endTimestamp(*end);
            spans.push_back(b.Finish());
        }
        std::vector<flatbuffers::Offset<fbs::SegmentationPropertyDTO>> rules;
        for (const auto& r : c.segmentationProperties) {
            auto key = string(r.key);
            auto value = string(r.value);
            fbs::SegmentationPropertyDTOBuilder b(builder);
            if (r.key)
                b.add_key(key);
            if (r.value)
                b.add_value(value);
            b.add_propertyType(static_cast<fbs::SegmentationPropertyType>(r.propertyType));
            b.add_operator_(static_cast<fbs::SegmentationOperator>(r.op));
            if (r.interval)
                b.add_interval(*r.interval);
            if (r.occurrences)
                b.add_occurrences(*r.occurrences);
            rules.push_back(b.Finish());
        }
        auto spansVector = c.timeSpans.empty() ? 0 : builder.CreateVector(spans);
        auto rulesVector = c.segmentationProperties.empty() ? 0 : builder.CreateVector(rules);
        auto campaignId = string(c.campaignId);
        auto message = string(c.message);
        auto data = string(c.data);
        auto experimentId = string(c.experimentId);
        fbs::CampaignDTOBuilder b(builder);
        b.add_temporaryId(c.temporaryId);
        if (c.campaignId)
            b.add_campaignId(campaignId);
        if (c.message)
            b.add_message(message);
        if (c.data)
            b.add_data(data);
        b.add_handlerType(static_cast<fbs::HandlerType>(c.handlerType));
        b.add_triggerOnExit(c.triggerOnExit);
        b.add_ignoreAppCooldown(c.ignoreAppCooldown);
        if (c.dwellingMinutes)
            b.add_dwellingMinutes(*c.dwellingMinutes);
        if (c.experimentId)
            b.add_experimentId(experimentId);
        if (c.experimentMessageId)
            b.add_experimentMessageId(*c.experimentMessageId);
        if (c.start)
            b.add_campaignStartTimestamp(*c.start);
        if (c.end)
            b.add_campaignEndTimestamp(*c.end);
        if (!c.segmentationProperties.empty())
            b.add_segmentationProperties(rulesVector);
        if (!c.timeSpans.empty())
            b.add_timeSpans(spansVector);
        return b.Finish();
    }

    flatbuffers::Offset<fbs::GeohashDTO> geohash(const std::string& value, std::optional<int64_t> lastVersion,
                                                 const std::vector<NotificationSpec>& notifications = {}) {
        std::vector<flatbuffers::Offset<fbs::NotificationDTO>> built;
        for (const auto& n : notifications) built.push_back(notification(n));
        auto changed = notifications.empty() ? 0 : builder.CreateVector(built);
        auto text = builder.CreateString(value);
        fbs::GeohashDTOBuilder b(builder);
        b.add_value(text);
        if (lastVersion)
            b.add_lastVersion(*lastVersion);
        if (!notifications.empty())
            b.add_changedNotifications(changed);
        return b.Finish();
    }

    // Finishes the buffer with `root`, verifies it and returns the root; nullptr (and a test
    // failure) when the verifier refuses it.
    template <typename Table>
    const Table* root(flatbuffers::Offset<Table> offset) {
        builder.Finish(offset);
        flatbuffers::Verifier verifier(builder.GetBufferPointer(), builder.GetSize());
        if (!verifier.VerifyBuffer<Table>(nullptr)) {
            ADD_FAILURE() << "the built buffer does not verify";
            return nullptr;
        }
        return flatbuffers::GetRoot<Table>(builder.GetBufferPointer());
    }
};

// The data-update stores on one database file, wired as the save wires them.
struct DataUpdateStores {
    explicit DataUpdateStores(std::shared_ptr<ZarnPSqLiteDb> database,
                              std::shared_ptr<ZarnPPublicLogging> publicLog = nullptr)
        : db(std::move(database)),
          geohashNotification(std::make_shared<ZarnPSqLiteGeohashNotificationDao>(db)),
          geohash(std::make_shared<ZarnPSqLiteGeohashDao>(db, std::move(publicLog))),
          customRegionFields(std::make_shared<ZarnPSqLiteCustomRegionFieldsDao>(db)),
          triggerProperties(std::make_shared<ZarnPSqLiteTriggerPropertiesDao>(db)),
          notification(std::make_shared<ZarnPSqLiteNotificationWriteDao>(
              db, geohashNotification, customRegionFields, triggerProperties)),
          segmentationProperties(std::make_shared<ZarnPSqLiteSegmentationPropertiesDao>(db)),
          timeSpan(std::make_shared<ZarnPSqLiteTimeSpanDao>(db)),
          campaign(std::make_shared<ZarnPSqLiteCampaignDao>(db, segmentationProperties, timeSpan)),
          polygon(std::make_shared<ZarnPSqLitePolygonDao>(db)),
          notificationArea(std::make_shared<ZarnPSqLiteNotificationAreaDao>(db)),
          geohashRead(std::make_shared<ZarnPGeohashReadDao>(db)) {}

    // Every row of a query whose one column is text (build it with quote() and ||).
    std::vector<std::string> column(const std::string& sql) {
        std::vector<std::string> out;
        auto rs = db->database()->executeQuery(sql);
        while (rs && rs->next()) out.push_back(rs->stringForColumnIndex(0).value_or("<null>"));
        return out;
    }
    long long count(const std::string& table) {
        auto rs = db->database()->executeQuery("SELECT COUNT(*) FROM " + table);
        return rs && rs->next() ? rs->longForColumnIndex(0) : -1;
    }

    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteGeohashNotificationDao> geohashNotification;
    std::shared_ptr<ZarnPSqLiteGeohashDao> geohash;
    std::shared_ptr<ZarnPSqLiteCustomRegionFieldsDao> customRegionFields;
    std::shared_ptr<ZarnPSqLiteTriggerPropertiesDao> triggerProperties;
    std::shared_ptr<ZarnPSqLiteNotificationWriteDao> notification;
    std::shared_ptr<ZarnPSqLiteSegmentationPropertiesDao> segmentationProperties;
    std::shared_ptr<ZarnPSqLiteTimeSpanDao> timeSpan;
    std::shared_ptr<ZarnPSqLiteCampaignDao> campaign;
    std::shared_ptr<ZarnPSqLitePolygonDao> polygon;
    std::shared_ptr<ZarnPSqLiteNotificationAreaDao> notificationArea;
    std::shared_ptr<ZarnPGeohashReadDao> geohashRead;
};

}  // namespace zarn::test
