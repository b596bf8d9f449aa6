#include "store/ZarnPSqLiteNotificationReadDao.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <unordered_set>

#include "core/Format.h"
#include "core/ZarnException.h"
#include "core/ZarnPBeaconUtil.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPConstants.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPNotificationRegionType.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPSegmentationDao.h"
#include "store/ZarnPSegmentationPropertyValidator.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteNotificationAreaDao.h"
#include "store/ZarnPSqliteDaoUtils.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "SqLiteNotificationReadDao";

// Ids per IN list: well below SQLite's bound-variable limit.
constexpr size_t kIdsPerStatement = 500;

constexpr std::string_view kSelectColumns =
    "SELECT c.server_id campaign_id, geofence_id, experiment_id, experiment_message_id, latitude, longitude, "
    "c.message, c.trigger_on_exit, c.dwelling_minutes, c.handler_type, c.data, match_range, CASE WHEN "
    "(((:lat "
    "BETWEEN (latitude - match_range_lat) AND (latitude + match_range_lat)) AND (:long between (longitude - "
    "match_range_long) AND (longitude + match_range_long))) OR (latitude IS NULL AND longitude IS NULL)) "
    "THEN 1 "
    "ELSE 0 END is_inside, ((latitude - :lat) * (latitude - :lat) + (longitude - :long) * (longitude - "
    ":long)) "
    "distance, %@ opening_hours, n.id, beacon_major_id, beacon_minor_id, ignore_app_cooldown, region_label, "
    "s.key, s.value, s.property_type, s.operator, s.interval, s.occurrences, coalesce(opening_hours_mon, "
    "opening_hours_tue, opening_hours_wed, opening_hours_thu, opening_hours_fri, opening_hours_sat, "
    "opening_hours_sun) opening_hours_set, c.id, beacon_uuid, is_external_region, is_polygon FROM ";

constexpr std::string_view kNearestInner =
    "(SELECT geofence_id, CASE WHEN p.latitude is null THEN n.latitude ELSE p.latitude END latitude, CASE "
    "WHEN "
    "p.longitude is null THEN n.longitude ELSE p.longitude END longitude, CASE WHEN p.match_range is null "
    "THEN "
    "n.match_range ELSE p.match_range END match_range, n.id, beacon_major_id, beacon_minor_id, region_label, "
    "match_range_lat, match_range_long, opening_hours_mon, opening_hours_tue, opening_hours_wed, "
    "opening_hours_thu, opening_hours_fri, opening_hours_sat, opening_hours_sun, offered,beacon_uuid, "
    "is_external_region,campaignid, is_polygon FROM notification n LEFT JOIN polygon p on "
    "p.notification_internal_id = n.id";

constexpr std::string_view kNearestTail =
    ") n JOIN campaign c ON n.campaignid=c.id LEFT JOIN segmentation_property s ON c.id = s.campaignid WHERE "
    "%@ "
    "( ((offered = 0) OR (offered is NULL) OR (offered = :includeOffered)) AND (((:timestamp >= "
    "c.campaign_start_timestamp) OR (c.campaign_start_timestamp IS NULL)) AND ((:timestamp <= "
    "c.campaign_end_timestamp) OR (c.campaign_end_timestamp IS NULL))) )) ORDER BY is_inside desc, distance "
    "LIMIT :limit) ";

constexpr std::string_view kIncludedFrom =
    "notification n JOIN campaign c ON n.campaignid=c.id LEFT JOIN segmentation_property s ON c.id = "
    "s.campaignid WHERE ";

// Result columns.
enum Column {
    kCampaignId = 0,
    kGeofenceId = 1,
    kExperimentId = 2,
    kExperimentMessageId = 3,
    kLatitude = 4,
    kLongitude = 5,
    kMessage = 6,
    kTriggerOnExit = 7,
    kDwellingMinutes = 8,
    kHandlerType = 9,
    kData = 10,
    kMatchRange = 11,
    kIsInside = 12,
    kDistance = 13,
    kOpeningHours = 14,
    kNotificationRowId = 15,
    kBeaconMajorId = 16,
    kBeaconMinorId = 17,
    kIgnoreAppCooldown = 18,
    kRegionLabel = 19,
    kPropertyKey = 20,
    kPropertyValue = 21,
    kPropertyType = 22,
    kPropertyOperator = 23,
    kPropertyInterval = 24,
    kPropertyOccurrences = 25,
    kOpeningHoursSet = 26,
    kCampaignRowId = 27,
    kBeaconUuid = 28,
    kIsPolygon = 30,
};

std::optional<int32_t> optionalInt(ZarnPResultSet& rs, int column) {
    if (rs.columnIndexIsNull(column))
        return std::nullopt;
    return rs.intForColumnIndex(column);
}

// Local wall-clock fields of the clock's local milliseconds since 1970.
struct LocalTime {
    int weekday;  // 1 Sunday to 7 Saturday
    int hour;
    int minute;
};

LocalTime localTime(int64_t localMilliseconds) {
    int64_t seconds = localMilliseconds / 1000 - (localMilliseconds % 1000 < 0 ? 1 : 0);
    int64_t days = seconds / 86400 - (seconds % 86400 < 0 ? 1 : 0);
    int64_t secondOfDay = seconds - days * 86400;
    // 1 January 1970 was a Thursday (weekday 5).
    int weekday = static_cast<int>(((days % 7) + 7 + 4) % 7) + 1;
    return {weekday, static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay % 3600 / 60)};
}

// Runs `sql` (with PARAMETERS) over `ids` in bounded chunks, handing each row to `row`.
template <typename Id, typename RowFn>
void forEachInChunks(ZarnPDatabase& db, std::string_view sql, const std::vector<Id>& ids, RowFn&& row) {
    for (size_t first = 0; first < ids.size(); first += kIdsPerStatement) {
        size_t last = std::min(ids.size(), first + kIdsPerStatement);
        std::vector<ZarnPSqlValue> arguments;
        arguments.reserve(last - first);
        for (size_t i = first; i < last; ++i) arguments.emplace_back(ids[i]);
        auto rs = db.executeQueryWithArgumentsInArray(
            ZarnPSqliteDaoUtils::replaceParametersInQuery(sql, last - first), arguments);
        while (rs && rs->next()) row(*rs);
    }
}

std::string describeValues(const std::map<std::string, std::string>& values) {
    std::string out = "{";
    for (const auto& [key, value] : values) out += zarn::format("%@ = %@; ", key, value);
    return out + "}";
}

// One kept row of the nearest statement.
struct IntermediateNotification {
    ZarnPNotification notification;
    bool ignoreAppCooldown = false;
    int64_t campaignInternalId = 0;
};

// The nearest statement of one read with its parameters.
struct NearestStatement {
    std::string sql;
    ZarnPSqlParameters parameters;
    // The included ids bound (those with a region part).
    size_t includedCount = 0;
    int regionType = 0;
    std::string openingHoursColumn;
};

// The rows of the nearest statement open now, and the ids their child rows are read by.
struct KeptRows {
    std::vector<IntermediateNotification> intermediates;
    std::set<std::string> cooldownIds{EMPTY_UUID};
    std::set<int64_t> timespanCampaigns;
    std::set<int64_t> notificationRowIds;
    // Campaigns seen with at least one rule: their rules are read again in full.
    std::map<int64_t, std::string> campaignsWithRules;
    ZarnPSegmentationPropertyValidator::CampaignRulesById campaignRules;
};

using KeyValuesByRowId = std::map<int64_t, std::map<std::string, std::optional<std::string>>>;

// The child rows of the kept notifications.
struct ChildRows {
    std::map<std::string, ZarnPCooldownGroup> cooldownGroups;
    // By the campaign's row id.
    std::map<int64_t, std::vector<ZarnPTimespan>> timespans;
    KeyValuesByRowId customRegionFields;
    KeyValuesByRowId triggerProperties;
};

NearestStatement nearestStatement(const ZarnPLocationWithAccuracy& location, int count, bool includeOffered,
                                  int regionType, const std::vector<std::string>& includeIds,
                                  int64_t localMilliseconds) {
    NearestStatement statement;
    statement.parameters = {{"lat", location.latitude()},
                            {"long", location.longitude()},
                            {"includeOffered", includeOffered ? 1 : 0},
                            {"timestamp", localMilliseconds / 1000},
                            {"limit", count}};
    // Included ids are data: bound, never spliced. One without a region part names nothing.
    for (const auto& id : includeIds) {
        auto separator = id.find(';');
        if (separator == std::string::npos) {
            LogDebug(kDomain, "Skipping included id without a region: %@", id);
            continue;
        }
        statement.parameters.emplace_back(zarn::format("inc_c%@", statement.includedCount),
                                          id.substr(0, separator));
        statement.parameters.emplace_back(zarn::format("inc_r%@", statement.includedCount),
                                          id.substr(separator + 1));
        ++statement.includedCount;
    }
    statement.regionType = regionType;
    statement.openingHoursColumn =
        ZarnPSqLiteNotificationReadDao::openingHoursColumnForWeekday(localTime(localMilliseconds).weekday);
    statement.sql = ZarnPSqLiteNotificationReadDao::nearestQuery(regionType, statement.openingHoursColumn,
                                                                 statement.includedCount);
    return statement;
}

// A box around the device, in degrees.
struct NearestArea {
    double south, north, west, east;
};

constexpr double kFirstHalfSide = 0.005;   // about 500 m
constexpr double kWidestHalfSide = 20000;  // around a device on the earth, wider than any box lies
constexpr int kAreaRounds = 12;
// A candidate read through the index, with its count, costs about one and a half times what a
// notification costs in the full statement's scan (a look-up where the scan walks on): past
// candidates for one notification in this many, the full statement reads about as fast.
constexpr int64_t kIndexedShare = 3;
// Notifications without a box of their own are candidates of every read of their kind, wherever
// the device is; they win nothing where the full statement passes over many of other kinds:
// past one notification in this many, the read runs in full.
constexpr int64_t kUnplacedShare = 16;

NearestArea areaAround(const ZarnPLocationWithAccuracy& location, double halfSide) {
    return {location.latitude() - halfSide, location.latitude() + halfSide, location.longitude() - halfSide,
            location.longitude() + halfSide};
}

// What a box adds to the nearest statement's parameters.
void addAreaParameters(ZarnPSqlParameters& parameters, const NearestArea& area, int regionType) {
    parameters.emplace_back("area_south", area.south);
    parameters.emplace_back("area_north", area.north);
    parameters.emplace_back("area_west", area.west);
    parameters.emplace_back("area_east", area.east);
    parameters.emplace_back("area_kind", regionType);
}

// A notification outside the box of half side `halfSide` is not inside its range, and the
// statement's distance of each of its rows is at least this (rounding of the box's bounds and of
// the distance itself allowed for, with a wide margin).
double slack(const ZarnPLocationWithAccuracy& location, double halfSide) {
    return 1e-12 * (1 + std::fabs(location.latitude()) + std::fabs(location.longitude()) + halfSide);
}
double distanceOutside(const ZarnPLocationWithAccuracy& location, double halfSide) {
    double least = halfSide - slack(location, halfSide);
    return least > 0 ? least * least * (1 - 1e-12) : 0;
}
// A half side whose box leaves out nothing nearer than `distance`.
double halfSideBeyond(const ZarnPLocationWithAccuracy& location, double distance) {
    return std::sqrt(distance) * (1 + 1e-9) +
           1e-9 * (1 + std::fabs(location.latitude()) + std::fabs(location.longitude()));
}

// Whether the row's notification is open at the local time; `openingHoursSet` tells whether it
// has hours on any day.
bool isOpenNow(ZarnPResultSet& rs, const LocalTime& local, bool& openingHoursSet) {
    std::optional<int64_t> todaysHours;
    if (!rs.columnIndexIsNull(kOpeningHours))
        todaysHours = rs.longForColumnIndex(kOpeningHours);
    openingHoursSet = !rs.columnIndexIsNull(kOpeningHoursSet) && rs.longForColumnIndex(kOpeningHoursSet) != 0;
    return ZarnPSqLiteNotificationReadDao::isWithinOpeningHours(todaysHours, openingHoursSet, local.hour,
                                                                local.minute);
}

ZarnPNotification notificationOfRow(ZarnPResultSet& rs) {
    ZarnPNotification n;
    n.setCampaignId(rs.stringForColumnIndex(kCampaignId).value_or(""));
    n.setRegionId(rs.stringForColumnIndex(kGeofenceId));
    if (auto experimentId = rs.stringForColumnIndex(kExperimentId)) {
        n.setExperimentId(std::move(experimentId));
        n.setExperimentMessageNumber(optionalInt(rs, kExperimentMessageId));
    }
    if (!rs.columnIndexIsNull(kLatitude) && !rs.columnIndexIsNull(kLongitude))
        n.setLocation(ZarnPLocation(rs.doubleForColumnIndex(kLatitude), rs.doubleForColumnIndex(kLongitude)));
    n.setMessage(rs.stringForColumnIndex(kMessage));
    n.setTriggerOnExit(rs.longForColumnIndex(kTriggerOnExit) != 0);
    n.setDwellingMinutes(rs.intForColumnIndex(kDwellingMinutes));
    n.setNotificationHandlerType(static_cast<uint32_t>(rs.intForColumnIndex(kHandlerType)));
    n.setData(rs.stringForColumnIndex(kData));
    n.setMatchRange(rs.intForColumnIndex(kMatchRange));
    n.setInternalId(rs.longForColumnIndex(kNotificationRowId));
    n.setMajorId(optionalInt(rs, kBeaconMajorId));
    n.setMinorId(optionalInt(rs, kBeaconMinorId));
    n.setRegionLabel(rs.stringForColumnIndex(kRegionLabel));
    if (auto uuid = rs.stringForColumnIndex(kBeaconUuid))
        n.setBeaconUuid(ZarnPBeaconUtil::stringToUuid(*uuid));
    n.setIsPolygon(rs.longForColumnIndex(kIsPolygon) != 0);
    n.setSegmentationIds({n.campaignId()});
    return n;
}

// A segmentation rule whose key is in `keyColumn`, followed by its value, property type,
// operator, interval and occurrences (as in the nearest statement's columns).
static_assert(kPropertyValue == kPropertyKey + 1 && kPropertyType == kPropertyKey + 2 &&
              kPropertyOperator == kPropertyKey + 3 && kPropertyInterval == kPropertyKey + 4 &&
              kPropertyOccurrences == kPropertyKey + 5);
ZarnPSegmentationProperty ruleOfRow(ZarnPResultSet& rs, int keyColumn, std::string key) {
    return ZarnPSegmentationProperty(std::move(key), rs.stringForColumnIndex(keyColumn + 1),
                                     static_cast<uint32_t>(rs.intForColumnIndex(keyColumn + 3)),
                                     static_cast<uint32_t>(rs.intForColumnIndex(keyColumn + 2)),
                                     optionalInt(rs, keyColumn + 4), optionalInt(rs, keyColumn + 5));
}

void keepRow(ZarnPResultSet& rs, bool openingHoursSet, KeptRows& kept) {
    ZarnPNotification n = notificationOfRow(rs);
    int64_t campaignRowId = rs.longForColumnIndex(kCampaignRowId);
    kept.cooldownIds.insert(n.campaignId());
    kept.cooldownIds.insert(n.getShortId());
    if (!openingHoursSet)
        kept.timespanCampaigns.insert(campaignRowId);
    kept.notificationRowIds.insert(n.internalId());
    if (auto key = rs.stringForColumnIndex(kPropertyKey)) {
        ZarnPSegmentationProperty rule = ruleOfRow(rs, kPropertyKey, *key);
        // The first row of a prefixed key wins.
        kept.campaignRules[n.campaignId()].emplace(ZarnPSegmentationPropertyValidator::ruleKey(rule), rule);
        kept.campaignsWithRules.emplace(campaignRowId, n.campaignId());
    }
    bool ignoreAppCooldown = rs.longForColumnIndex(kIgnoreAppCooldown) != 0;
    kept.intermediates.push_back({std::move(n), ignoreAppCooldown, campaignRowId});
}

// The rank of a row of the nearest statement: inside first, then by distance (NULL first).
struct RowRank {
    bool inside = false;
    std::optional<double> distance;
};

// Runs a statement of the nearest read and keeps, in `kept`, the rows open at the local time, in
// result order; the number of rows and the rank of the last one.
std::pair<size_t, RowRank> readKeptRows(ZarnPDatabase& db, const std::string& sql,
                                        const ZarnPSqlParameters& parameters, const LocalTime& local,
                                        KeptRows& kept) {
    std::pair<size_t, RowRank> read;
    auto rs = db.executeQueryWithParameterDictionary(sql, parameters);
    while (rs && rs->next()) {
        ++read.first;
        read.second.inside = !rs->columnIndexIsNull(kIsInside) && rs->longForColumnIndex(kIsInside) == 1;
        read.second.distance = rs->columnIndexIsNull(kDistance)
                                   ? std::nullopt
                                   : std::optional<double>(rs->doubleForColumnIndex(kDistance));
        bool openingHoursSet = false;
        if (isOpenNow(*rs, local, openingHoursSet))
            keepRow(*rs, openingHoursSet, kept);
    }
    if (rs)
        rs->close();
    return read;
}

// What the index holds of one kind, against the notifications the full statement would read.
struct AreaStore {
    int64_t total;     // the highest notification id: at least the number stored
    int64_t unplaced;  // notifications of the kind without a box, candidates of every read
    bool judged;       // whether a box of too many candidates gives the read up
};

// The candidates of a box around the device, while they stay under kIndexedShare of the
// notifications; nothing else.
std::optional<int64_t> areaCandidates(ZarnPDatabase& db, int regionType,
                                      const ZarnPLocationWithAccuracy& location, double halfSide,
                                      const AreaStore& store) {
    NearestArea area = areaAround(location, halfSide);
    // Counting stops where the box would hold too many.
    int64_t limit = store.judged ? store.total / kIndexedShare - store.unplaced + 1 : -1;
    auto found = ZarnPSqLiteNotificationAreaDao::boxCount(db, regionType, area.south, area.north, area.west,
                                                          area.east, limit);
    if (!found || (store.judged && (*found + store.unplaced) * kIndexedShare > store.total))
        return std::nullopt;
    return found;
}

// The half side of the first box worth reading: grown until the box holds `count` candidates
// with a box of their own (by the density it found, from twice to 16 times a step), then widened
// for them; the widest box when the kind holds fewer. A box of too many candidates to win is
// narrowed by the density it found, down to no less than a box known to hold too few, a few
// times; nothing when that does not find one.
std::optional<double> firstHalfSide(ZarnPDatabase& db, int regionType,
                                    const ZarnPLocationWithAccuracy& location, int count,
                                    const AreaStore& store) {
    constexpr int kNarrowings = 3;
    double tooFew = 0;
    int narrowings = 0;
    for (double halfSide = kFirstHalfSide;;) {
        auto found = areaCandidates(db, regionType, location, halfSide, store);
        if (!found) {
            // The count stopped at the limit: the density is at least what it tells.
            int64_t atLeast = std::max<int64_t>(1, store.total / kIndexedShare - store.unplaced + 1);
            double narrowed = halfSide * std::sqrt(2.0 * count / static_cast<double>(atLeast));
            if (tooFew > 0)
                narrowed = std::min(narrowed, std::sqrt(tooFew * halfSide));
            if (++narrowings > kNarrowings || narrowed <= tooFew)
                return std::nullopt;
            halfSide = narrowed;
            continue;
        }
        // The nearest rows lie within a circle, which holds about 3/4 of the box: twice `count`
        // candidates in the box seldom leave one out.
        if (*found >= count)
            return halfSide * std::sqrt(std::max(1.0, 2.0 * count / static_cast<double>(*found)));
        if (halfSide >= kWidestHalfSide)
            return halfSide;
        tooFew = halfSide;
        double growth = *found > 0 ? std::sqrt(2.0 * count / static_cast<double>(*found)) : 16;
        halfSide = std::min(kWidestHalfSide, halfSide * std::clamp(growth, 2.0, 16.0));
    }
}

// What the store holds, when reading through the index can win: enough notifications, of the
// store and of the kind, and few without a box of their own (each is read by every indexed read,
// and a store of many of them reads as fast in full). Counted once after each change of the tree.
std::optional<AreaStore> areaStore(ZarnPDatabase& db, int regionType, int count,
                                   ZarnPSqLiteNotificationReadDao::IndexUse use,
                                   ZarnPSqLiteNotificationAreaDao::Census& census) {
    using IndexUse = ZarnPSqLiteNotificationReadDao::IndexUse;
    if (use == IndexUse::Never)
        return std::nullopt;
    AreaStore store{.total = 0, .unplaced = 0, .judged = use == IndexUse::WhereItWins};
    census.refresh(db);
    auto highest = census.highestId(db);
    if (!highest)
        return std::nullopt;
    store.total = *highest;
    // A box of `count` candidates and a third as many to spare wins only among kIndexedShare
    // times as many notifications: of the store, and of the kind, which a box would hold most of.
    const int64_t enough = (kIndexedShare + 1) * count;
    if (store.judged && store.total < enough)
        return std::nullopt;
    auto unplaced = census.count(db, regionType, true, store.judged ? store.total / kUnplacedShare + 1 : -1);
    if (!unplaced || (store.judged && *unplaced * kUnplacedShare > store.total))
        return std::nullopt;
    if (store.judged) {
        auto ofKind = census.count(db, regionType, false, enough);
        if (!ofKind || *ofKind < enough)
            return std::nullopt;
    }
    store.unplaced = *unplaced;
    return store;
}

// The statement's parameters of its nearest part, or of its included part; both take the
// device's place.
ZarnPSqlParameters partParameters(const NearestStatement& statement, bool includedPart) {
    ZarnPSqlParameters parameters;
    for (const auto& parameter : statement.parameters)
        if (parameter.first.starts_with("inc_") == includedPart || parameter.first == "lat" ||
            parameter.first == "long")
            parameters.push_back(parameter);
    return parameters;
}

// The rows of the nearest statement read through the spatial index: a box around the device
// grows until the last of the `count` first rows of its notifications ranks before every row of a
// notification outside it (inside first, then by distance), so that the rows, their order and
// their ties are those of the whole table; the included ids follow. Nothing when the index cannot
// answer, or would answer no faster (few notifications, or a box that holds half of them): the
// whole statement then runs.
std::optional<KeptRows> readThroughArea(ZarnPDatabase& db, const NearestStatement& statement,
                                        const ZarnPLocationWithAccuracy& location, int count,
                                        ZarnPSqLiteNotificationReadDao::IndexUse use, const LocalTime& local,
                                        ZarnPSqLiteNotificationAreaDao::Trust& trust,
                                        ZarnPSqLiteNotificationAreaDao::Census& census) {
    if (count <= 0 || !std::isfinite(location.latitude()) || !std::isfinite(location.longitude()) ||
        !trust.isWhole(db))
        return std::nullopt;
    std::optional<AreaStore> store = areaStore(db, statement.regionType, count, use, census);
    if (!store)
        return std::nullopt;
    std::optional<double> first = firstHalfSide(db, statement.regionType, location, count, *store);
    if (!first)
        return std::nullopt;
    double halfSide = *first;
    const std::string nearest = ZarnPSqLiteNotificationReadDao::nearestQuery(
        statement.regionType, statement.openingHoursColumn, 0, true);
    for (int round = 0; round < kAreaRounds; ++round) {
        ZarnPSqlParameters parameters = partParameters(statement, false);
        const NearestArea area = areaAround(location, halfSide);
        addAreaParameters(parameters, area, statement.regionType);
        KeptRows kept;
        kept.intermediates.reserve(static_cast<size_t>(std::min(count, 10000)) + statement.includedCount);
        auto [rows, last] = readKeptRows(db, nearest, parameters, local, kept);
        // A box that meets every box of the index read every notification of the kind.
        bool everything =
            ZarnPSqLiteNotificationAreaDao::holdsEveryBox(area.south, area.north, area.west, area.east);
        bool enough = rows >= static_cast<size_t>(count);
        if (everything || (enough && (last.inside || !last.distance ||
                                      *last.distance < distanceOutside(location, halfSide)))) {
            if (statement.includedCount > 0)
                readKeptRows(db,
                             ZarnPSqLiteNotificationReadDao::includedQuery(statement.openingHoursColumn,
                                                                           statement.includedCount),
                             partParameters(statement, true), local, kept);
            return kept;
        }
        // Around a device far off the earth even the widest box may leave notifications out.
        if (halfSide >= kWidestHalfSide)
            return std::nullopt;
        halfSide =
            enough ? std::max(halfSide * 1.25, halfSideBeyond(location, *last.distance)) : halfSide * 2;
        halfSide = std::min(halfSide, kWidestHalfSide);
        if (!areaCandidates(db, statement.regionType, location, halfSide, *store))
            return std::nullopt;
    }
    return std::nullopt;
}

// The row limit counts joined rows, so the last campaign's rules may have been cut off: reads
// every rule of the kept campaigns that have any.
void readAllRulesOfKeptCampaigns(ZarnPDatabase& db, KeptRows& kept) {
    if (kept.campaignsWithRules.empty())
        return;
    std::vector<int64_t> ids;
    for (const auto& [rowId, serverId] : kept.campaignsWithRules) ids.push_back(rowId);
    forEachInChunks(db,
                    "SELECT campaignid, \"key\", value, property_type, operator, interval, occurrences FROM "
                    "segmentation_property WHERE campaignid IN (PARAMETERS) AND \"key\" IS NOT NULL;",
                    ids, [&](ZarnPResultSet& row) {
                        auto campaign = kept.campaignsWithRules.find(row.longForColumnIndex(0));
                        if (campaign == kept.campaignsWithRules.end())
                            return;
                        ZarnPSegmentationProperty rule =
                            ruleOfRow(row, 1, row.stringForColumnIndex(1).value_or(""));
                        kept.campaignRules[campaign->second].emplace(
                            ZarnPSegmentationPropertyValidator::ruleKey(rule), rule);
                    });
}

// Key-value child rows ("notificationid", "key", value) of the notification rows.
KeyValuesByRowId readKeyValues(ZarnPDatabase& db, std::string_view sql, const std::vector<int64_t>& rowIds) {
    KeyValuesByRowId out;
    forEachInChunks(db, sql, rowIds, [&](ZarnPResultSet& row) {
        if (auto key = row.stringForColumnIndex(1))
            out[row.longForColumnIndex(0)][*key] = row.stringForColumnIndex(2);
    });
    return out;
}

// Time spans belong to the campaign's row; -1 (or NULL) is an open bound.
std::map<int64_t, std::vector<ZarnPTimespan>> readTimespans(ZarnPDatabase& db,
                                                            const std::set<int64_t>& campaigns) {
    std::map<int64_t, std::vector<ZarnPTimespan>> timespans;
    forEachInChunks(
        db, "SELECT campaignId, startTimestamp, endTimestamp FROM timespan WHERE campaignId IN (PARAMETERS);",
        std::vector<int64_t>(campaigns.begin(), campaigns.end()), [&](ZarnPResultSet& row) {
            auto bound = [&](int column) -> std::optional<Date> {
                if (row.columnIndexIsNull(column) || row.longForColumnIndex(column) == -1)
                    return std::nullopt;
                return dateWithTimeIntervalSince1970(static_cast<double>(row.longForColumnIndex(column)));
            };
            timespans[row.longForColumnIndex(0)].emplace_back(bound(1), bound(2));
        });
    if (!timespans.empty() && IsLogDebugEnabled(kDomain)) {
        std::string text;
        for (const auto& [campaign, spans] : timespans) text += zarn::format("%@: %@; ", campaign, spans);
        LogDebug(kDomain, "found timespans: %@", text);
    }
    return timespans;
}

// Child look-ups, one IN query per table.
ChildRows readChildRows(ZarnPDatabase& db, const KeptRows& kept) {
    ChildRows children;
    forEachInChunks(db, "SELECT id, value FROM cooldown_group WHERE id IN (PARAMETERS);",
                    std::vector<std::string>(kept.cooldownIds.begin(), kept.cooldownIds.end()),
                    [&](ZarnPResultSet& row) {
                        auto id = row.stringForColumnIndex(0).value_or("");
                        children.cooldownGroups.emplace(id, ZarnPCooldownGroup(id, row.intForColumnIndex(1)));
                    });
    children.timespans = readTimespans(db, kept.timespanCampaigns);
    std::vector<int64_t> rowIds(kept.notificationRowIds.begin(), kept.notificationRowIds.end());
    children.customRegionFields = readKeyValues(db,
                                                "SELECT notificationid, \"key\", value FROM "
                                                "custom_region_fields WHERE notificationid IN (PARAMETERS);",
                                                rowIds);
    children.triggerProperties = readKeyValues(
        db,
        "SELECT notificationid, \"key\", value FROM trigger_properties WHERE notificationid IN (PARAMETERS);",
        rowIds);
    return children;
}

// Time-span filter on local wall-clock milliseconds: a campaign with spans needs one holding now.
void dropOutsideTimespans(std::vector<IntermediateNotification>& intermediates,
                          const std::map<int64_t, std::vector<ZarnPTimespan>>& timespans,
                          int64_t localMilliseconds) {
    std::erase_if(intermediates, [&](const IntermediateNotification& i) {
        auto spans = timespans.find(i.campaignInternalId);
        if (spans == timespans.end())
            return false;
        return std::none_of(spans->second.begin(), spans->second.end(), [&](const ZarnPTimespan& span) {
            auto whole = [](Date d) { return static_cast<int64_t>(timeIntervalSince1970(d)); };
            return (!span.start() || whole(*span.start()) <= localMilliseconds) &&
                   (!span.end() || localMilliseconds <= whole(*span.end()));
        });
    });
}

// Drops the campaigns whose rules the device's set values violate.
void dropRefusedBySegmentation(std::vector<IntermediateNotification>& intermediates,
                               const ZarnPSegmentationPropertyValidator::CampaignRulesById& campaignRules,
                               ZarnPSegmentationDao& segmentationDao,
                               ZarnPSegmentationPropertyValidator& validator) {
    if (campaignRules.empty())
        return;
    auto values = segmentationDao.getSegmentationProperties();
    LogDebug(kDomain, "Currently set segmentation properties: %@", describeValues(values));
    auto violated = validator.findViolatedCampaignIds(values, campaignRules);
    LogDebug(kDomain, "Campaigns violate segmentation properties: %@",
             std::vector<std::string>(violated.begin(), violated.end()));
    std::erase_if(intermediates, [&](const IntermediateNotification& i) {
        return violated.count(i.notification.campaignId());
    });
}

// Gives the notification its cooldown groups, custom region fields and trigger properties.
void attachChildRows(IntermediateNotification& i, const ChildRows& children) {
    auto& n = i.notification;
    std::vector<ZarnPCooldownGroup> groups;
    auto addGroup = [&](const std::string& id) {
        if (auto g = children.cooldownGroups.find(id); g != children.cooldownGroups.end())
            groups.push_back(g->second);
    };
    if (!i.ignoreAppCooldown)
        addGroup(EMPTY_UUID);
    addGroup(n.campaignId());
    addGroup(n.getShortId());
    n.setCooldownGroups(std::move(groups));
    if (auto fields = children.customRegionFields.find(n.internalId());
        fields != children.customRegionFields.end()) {
        ZarnPNotification::StringDictionary out;
        for (const auto& [key, value] : fields->second)
            if (value)
                out[key] = *value;
        n.setCustomRegionFields(std::move(out));
    }
    // A NULL value stays nothing: it matches only a reported null.
    if (auto properties = children.triggerProperties.find(n.internalId());
        properties != children.triggerProperties.end())
        n.setTriggerProperties(properties->second);
}

// One notification per stored notification, the first row winning.
std::vector<ZarnPNotification> assemble(std::vector<IntermediateNotification>& intermediates,
                                        const ChildRows& children) {
    std::vector<ZarnPNotification> assembled;
    std::unordered_set<int64_t> assembledIds;
    assembled.reserve(intermediates.size());
    for (auto& i : intermediates) {
        if (!assembledIds.insert(i.notification.internalId()).second)
            continue;
        attachChildRows(i, children);
        assembled.push_back(std::move(i.notification));
    }
    return assembled;
}

}  // namespace

ZarnPSqLiteNotificationReadDao::ZarnPSqLiteNotificationReadDao(
    std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPSqLiteCooldownDao> cooldownDao,
    std::shared_ptr<ZarnPClockDao> clockDao, std::shared_ptr<ZarnPSegmentationDao> segmentationDao,
    std::shared_ptr<ZarnPSegmentationPropertyValidator> segmentationPropertyValidator)
    : ZarnPSqLiteBaseNotificationDao(std::move(db), "", std::move(cooldownDao), std::move(clockDao)),
      segmentationDao_(std::move(segmentationDao)),
      segmentationPropertyValidator_(std::move(segmentationPropertyValidator)),
      nearestCacheHolder_(ZarnPSqLiteBaseNotificationDao::clockDao()) {
    ZARN_REQUIRE(segmentationDao_);
    ZARN_REQUIRE(segmentationPropertyValidator_);
}

std::vector<ZarnPNotification> ZarnPSqLiteNotificationReadDao::findNearestGeofenceNotifications(
    const ZarnPLocationWithAccuracy& location, bool includeOffered,
    const std::vector<std::string>& includeIds) {
    return findNearestGeofenceNotifications(location, kNearestCount, includeOffered, includeIds);
}

std::vector<ZarnPNotification> ZarnPSqLiteNotificationReadDao::findNearestBeaconNotifications(
    const ZarnPLocationWithAccuracy& location, bool includeOffered,
    const std::vector<std::string>& includeIds) {
    return findNearestBeaconNotifications(location, kNearestCount, includeOffered, includeIds);
}

std::vector<ZarnPNotification> ZarnPSqLiteNotificationReadDao::findNearestExternalNotifications(
    const ZarnPLocationWithAccuracy& location, bool includeOffered,
    const std::vector<std::string>& includeIds) {
    return findNearestExternalNotifications(location, kNearestCount, includeOffered, includeIds);
}

std::vector<ZarnPNotification> ZarnPSqLiteNotificationReadDao::findNearestGeofenceNotifications(
    const ZarnPLocationWithAccuracy& location, int count, bool includeOffered,
    const std::vector<std::string>& includeIds) {
    return findNearestNotifications(location, count, includeOffered, ZarnPNotificationRegionTypeGeofence,
                                    includeIds)
        .value_or(std::vector<ZarnPNotification>{});
}

std::vector<ZarnPNotification> ZarnPSqLiteNotificationReadDao::findNearestBeaconNotifications(
    const ZarnPLocationWithAccuracy& location, int count, bool includeOffered,
    const std::vector<std::string>& includeIds) {
    return findNearestNotifications(location, count, includeOffered, ZarnPNotificationRegionTypeBeacon,
                                    includeIds)
        .value_or(std::vector<ZarnPNotification>{});
}

std::vector<ZarnPNotification> ZarnPSqLiteNotificationReadDao::findNearestExternalNotifications(
    const ZarnPLocationWithAccuracy& location, int count, bool includeOffered,
    const std::vector<std::string>& includeIds) {
    return findNearestNotifications(location, count, includeOffered, ZarnPNotificationRegionTypeExternal,
                                    includeIds)
        .value_or(std::vector<ZarnPNotification>{});
}

void ZarnPSqLiteNotificationReadDao::invalidate() {
    ZARN_CHECK_SEQUENCE(sequence_);
    nearestCacheHolder_.invalidate();
}

std::vector<ZarnPNotification> ZarnPSqLiteNotificationReadDao::findByIds(
    const std::vector<std::string>& ids) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (ids.empty())
        return {};
    // No nearest rows: only the included part of the statement answers.
    return readNearest(ZarnPLocationWithAccuracy(0, 0, 0), 0, true, ZarnPNotificationRegionTypeGeofence, ids);
}

std::optional<Error> ZarnPSqLiteNotificationReadDao::setOffered(
    const std::vector<ZarnPNotification>& notifications, bool value) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    if (!db)
        return Error{"Zarn", -3, "Failed to execute query"};
    for (size_t first = 0; first < notifications.size(); first += kIdsPerStatement) {
        size_t last = std::min(notifications.size(), first + kIdsPerStatement);
        std::vector<ZarnPSqlValue> arguments{ZarnPSqlValue(value)};
        for (size_t i = first; i < last; ++i) arguments.emplace_back(notifications[i].internalId());
        bool success = db->executeUpdateWithParameters(
            ZarnPSqliteDaoUtils::replaceParametersInQuery(
                "UPDATE notification SET OFFERED=? WHERE id IN (PARAMETERS)", last - first),
            arguments);
        if (auto error = errorAfterStatement(success))
            return error;
    }
    return std::nullopt;
}

std::optional<ZarnPNotification> ZarnPSqLiteNotificationReadDao::findNearestLocation(
    const ZarnPLocationWithAccuracy& location, bool includeOffered) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto found = readNearest(location, 1, includeOffered, ZarnPNotificationRegionTypeGeofence, {});
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

std::string_view ZarnPSqLiteNotificationReadDao::openingHoursColumnForWeekday(int weekday) {
    static constexpr std::string_view kColumns[] = {
        "opening_hours_sun", "opening_hours_mon", "opening_hours_tue", "opening_hours_wed",
        "opening_hours_thu", "opening_hours_fri", "opening_hours_sat"};
    if (weekday < 1 || weekday > 7)
        return kColumns[0];
    return kColumns[weekday - 1];
}

std::string ZarnPSqLiteNotificationReadDao::nearestQuery(int regionType, std::string_view openingHoursColumn,
                                                         size_t includeIdCount, bool withinArea) {
    std::string column(openingHoursColumn);
    std::string regionFilter = zarn::format("( beacon_uuid IS %sNULL AND ",
                                            regionType == ZarnPNotificationRegionTypeBeacon ? "NOT " : "") +
                               zarn::format("( %s is_external_region) AND ",
                                            regionType != ZarnPNotificationRegionTypeExternal ? "NOT" : "");
    std::string sql = "SELECT * FROM ( ";
    sql += zarn::format(kSelectColumns, column);
    sql += kNearestInner;
    if (withinArea)
        sql += ZarnPSqLiteNotificationAreaDao::candidateCondition();
    sql += zarn::format(kNearestTail, regionFilter);
    if (includeIdCount > 0)
        sql += "UNION ALL " + includedQuery(openingHoursColumn, includeIdCount);
    return sql;
}

std::string ZarnPSqLiteNotificationReadDao::includedQuery(std::string_view openingHoursColumn,
                                                          size_t includeIdCount) {
    std::string sql = zarn::format(kSelectColumns, std::string(openingHoursColumn));
    sql += kIncludedFrom;
    for (size_t i = 0; i < includeIdCount; ++i) {
        if (i)
            sql += " OR ";
        sql += zarn::format("( c.server_id=:inc_c%@ AND geofence_id=:inc_r%@)", i, i);
    }
    return sql;
}

bool ZarnPSqLiteNotificationReadDao::isWithinOpeningHours(const std::optional<int64_t>& openingHours,
                                                          bool isOpeningHoursSet, int hour, int minute) {
    if (!isOpeningHoursSet)
        return true;
    if (!openingHours)
        return false;
    auto packed = static_cast<uint32_t>(*openingHours);
    int openHour = static_cast<int>(packed & 0xFF);
    int openMinute = static_cast<int>((packed >> 8) & 0xFF);
    int closeHour = static_cast<int>((packed >> 16) & 0xFF);
    int closeMinute = static_cast<int>((packed >> 24) & 0xFF);
    int now = hour * 60 + minute;
    return now >= openHour * 60 + openMinute && now <= closeHour * 60 + closeMinute;
}

std::optional<std::vector<ZarnPNotification>> ZarnPSqLiteNotificationReadDao::findNearestNotifications(
    const ZarnPLocationWithAccuracy& location, int count, bool includeOffered, int regionType,
    const std::vector<std::string>& includeIds) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (regionType < ZarnPNotificationRegionTypeGeofence || regionType > ZarnPNotificationRegionTypeExternal)
        return std::nullopt;
    if (nearestCacheHolder_.shouldRetrieveNearestFromDb(regionType))
        nearestCacheHolder_.saveNotificationsToCache(
            regionType, readNearest(location, count, includeOffered, regionType, includeIds), location);
    return nearestCacheHolder_.retrieveCachedNotifications(regionType);
}

std::vector<ZarnPNotification> ZarnPSqLiteNotificationReadDao::readNearest(
    const ZarnPLocationWithAccuracy& location, int count, bool includeOffered, int regionType,
    const std::vector<std::string>& includeIds) {
    auto db = database();
    if (!db)
        return {};
    const int64_t localMilliseconds = clockDao()->nowWithTimeZoneOffsetMilliseconds();
    const NearestStatement statement =
        nearestStatement(location, count, includeOffered, regionType, includeIds, localMilliseconds);
    const LocalTime local = localTime(localMilliseconds);
    // Where a box around the device holds few notifications, the spatial index finds the same rows
    // without a scan.
    std::optional<KeptRows> found =
        readThroughArea(*db, statement, location, count, indexUse_, local, indexTrust_, indexCensus_);
    if (!found) {
        found.emplace();
        // Reserved up front: a notification is copied, not moved, when a vector grows.
        found->intermediates.reserve(static_cast<size_t>(std::clamp(count, 0, 10000)) +
                                     statement.includedCount);
        readKeptRows(*db, statement.sql, statement.parameters, local, *found);
    }
    KeptRows& kept = *found;
    readAllRulesOfKeptCampaigns(*db, kept);
    const ChildRows children = readChildRows(*db, kept);
    dropOutsideTimespans(kept.intermediates, children.timespans, localMilliseconds);
    dropRefusedBySegmentation(kept.intermediates, kept.campaignRules, *segmentationDao_,
                              *segmentationPropertyValidator_);
    return assemble(kept.intermediates, children);
}

}  // namespace zarn
