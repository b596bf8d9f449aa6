#include "store/ZarnPSqLiteNotificationAreaDao.h"

#include <cmath>
#include <map>
#include <tuple>

#include "core/Format.h"
#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPResultSet.h"

namespace zarn {

namespace {

constexpr const char* kDomain = "SqLiteNotificationAreaDao";

// The region kind as the nearest statement's kind filter decides it; 3 matches no kind.
constexpr std::string_view kKind =
    "CASE WHEN n.beacon_uuid IS NULL AND (NOT n.is_external_region) THEN 0 WHEN n.beacon_uuid IS NOT NULL "
    "AND (NOT n.is_external_region) THEN 1 WHEN n.beacon_uuid IS NULL AND n.is_external_region THEN 2 ELSE "
    "3 END";

// Each point the nearest statement ranks a notification by, with the notification's ranges made
// positive (a negative range is never inside: the point alone is enough). "%@" is the condition
// on the notification rows ("1" for all).
constexpr std::string_view kPoints =
    "SELECT n.id id, CASE WHEN p.latitude is null THEN n.latitude ELSE p.latitude END lat, CASE WHEN "
    "p.longitude is null THEN n.longitude ELSE p.longitude END lon, abs(ifnull(n.match_range_lat, 0)) dlat, "
    "abs(ifnull(n.match_range_long, 0)) dlon, typeof(n.match_range_lat) IN ('integer', 'real', 'null') AND "
    "typeof(n.match_range_long) IN ('integer', 'real', 'null') numeric_ranges, %@ kind FROM notification n "
    "LEFT JOIN polygon p ON p.notification_internal_id = n.id WHERE %@";

// Whether a notification's points are all plain numbers near the earth, within a box of at most
// 10 degrees each way: it then has its box, else the box of kAnywhere, far from any other.
constexpr std::string_view kPlaced =
    "(min(typeof(lat) IN ('integer', 'real') AND typeof(lon) IN ('integer', 'real') AND numeric_ranges AND "
    "abs(lat) <= 10000 AND abs(lon) <= 10000 AND dlat <= 10 AND dlon <= 10) = 1 AND max(lat + dlat) - "
    "min(lat - dlat) <= 10 AND max(lon + dlon) - min(lon - dlon) <= 10)";
constexpr std::string_view kAnywhere = "1000000";

// One entry per notification; "%@" is the condition on the notification rows. Read from the rows
// alone: a trigger that read the tree and then wrote it would find it locked.
constexpr std::string_view kBoxes =
    "SELECT max(id), CASE WHEN %@ THEN min(lat - dlat) ELSE %@ END, CASE WHEN %@ THEN max(lat + dlat) ELSE "
    "%@ "
    "END, CASE WHEN %@ THEN min(lon - dlon) ELSE %@ END, CASE WHEN %@ THEN max(lon + dlon) ELSE %@ END, "
    "max(kind) FROM (%@) GROUP BY id";

constexpr const char* kTriggers[] = {
    "notification_area_notification_insert", "notification_area_notification_update",
    "notification_area_notification_delete", "notification_area_polygon_insert",
    "notification_area_polygon_update",      "notification_area_polygon_delete"};

std::string boxesOf(std::string_view condition) {
    return format(kBoxes, kPlaced, kAnywhere, kPlaced, kAnywhere, kPlaced, kAnywhere, kPlaced, kAnywhere,
                  format(kPoints, kKind, condition));
}

// The statements that bring notification `id` (an expression of the trigger) up to date.
std::string forget(std::string_view id) {
    return format("DELETE FROM notification_area WHERE id = %@; ", id);
}
std::string refresh(std::string_view id) {
    return forget(id) +
           format("INSERT INTO notification_area (id, min_lat, max_lat, min_long, max_long, kind) %@; ",
                  boxesOf(format("n.id = %@", id)));
}

std::string triggerSql(const char* name, std::string_view when, std::string_view body) {
    return format("CREATE TRIGGER %@ %@ BEGIN %@END", name, when, body);
}

int64_t single(ZarnPDatabase& database, std::string_view sql) {
    auto rs = database.executeQuery(sql);
    int64_t value = rs && rs->next() ? rs->longForColumnIndex(0) : -1;
    return value;
}

bool build(ZarnPDatabase& database) {
    for (const char* trigger : kTriggers)
        if (!database.executeUpdate(format("DROP TRIGGER IF EXISTS %@", trigger)))
            return false;
    if (!database.executeUpdate("DROP TABLE IF EXISTS notification_area"))
        return false;
    if (single(database,
               "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN ('notification', "
               "'polygon')") != 2)
        return true;  // nothing to index yet
    const std::string statements[] = {
        "CREATE VIRTUAL TABLE notification_area USING rtree(id, min_lat, max_lat, min_long, max_long, +kind)",
        format("INSERT INTO notification_area (id, min_lat, max_lat, min_long, max_long, kind) %@",
               boxesOf("1")),
        triggerSql(kTriggers[0], "AFTER INSERT ON notification", refresh("NEW.id")),
        triggerSql(kTriggers[1],
                   "AFTER UPDATE OF id, latitude, longitude, match_range_lat, match_range_long, beacon_uuid, "
                   "is_external_region ON notification",
                   forget("OLD.id") + refresh("NEW.id")),
        triggerSql(kTriggers[2], "AFTER DELETE ON notification", forget("OLD.id")),
        triggerSql(kTriggers[3], "AFTER INSERT ON polygon", refresh("NEW.notification_internal_id")),
        triggerSql(kTriggers[4], "AFTER UPDATE OF notification_internal_id, latitude, longitude ON polygon",
                   refresh("OLD.notification_internal_id") + refresh("NEW.notification_internal_id")),
        triggerSql(kTriggers[5], "AFTER DELETE ON polygon", refresh("OLD.notification_internal_id"))};
    for (const auto& sql : statements)
        if (!database.executeUpdate(sql))
            return false;
    return true;
}

// (min_lat, max_lat, min_long, max_long, kind) by notification.
using Entries = std::map<int64_t, std::tuple<double, double, double, double, int64_t>>;

Entries readEntries(ZarnPDatabase& database, std::string_view sql) {
    Entries out;
    if (auto rs = database.executeQuery(sql))
        while (rs->next())
            out[rs->longForColumnIndex(0)] = {rs->doubleForColumnIndex(1), rs->doubleForColumnIndex(2),
                                              rs->doubleForColumnIndex(3), rs->doubleForColumnIndex(4),
                                              rs->longForColumnIndex(5)};
    return out;
}

// Whether a stored 32-bit bound holds the exact one, no wider than the rounding needs.
bool holdsLow(double stored, double exact) {
    return stored <= exact && exact - stored <= 1e-6 * std::max(1.0, std::fabs(exact));
}
bool holdsHigh(double stored, double exact) {
    return holdsLow(-stored, -exact);
}

}  // namespace

ZarnPSqLiteNotificationAreaDao::ZarnPSqLiteNotificationAreaDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteDao(std::move(db)) {
    setTableName("notification_area");
}

void ZarnPSqLiteNotificationAreaDao::createOrUpdate(int) {
    if (auto connection = database())
        ensure(*connection);
}

bool ZarnPSqLiteNotificationAreaDao::ensure(ZarnPDatabase& database) {
    if (trustedCount(database))
        return true;
    if (!database.executeUpdate("SAVEPOINT notification_area"))
        return false;
    bool built = build(database);
    if (!built)
        database.executeUpdate("ROLLBACK TO notification_area");
    database.executeUpdate("RELEASE notification_area");
    if (!built)
        LogWarn(kDomain, "The nearest reads run without their index: %@", database.lastErrorMessage());
    return built;
}

std::optional<int64_t> ZarnPSqLiteNotificationAreaDao::trustedCount(ZarnPDatabase& database) {
    std::string names = "'notification_area', 'notification_area_rowid'";
    for (const char* trigger : kTriggers) names += format(", '%@'", trigger);
    // The schema first: a statement on a missing table would fail, and be logged as a failure.
    if (single(database, format("SELECT COUNT(*) FROM sqlite_master WHERE name IN (%@)", names)) != 8)
        return std::nullopt;
    auto rs = database.executeQuery(
        "SELECT (SELECT COUNT(*) FROM notification), (SELECT COUNT(*) FROM notification_area_rowid)");
    if (!rs || !rs->next() || rs->longForColumnIndex(0) != rs->longForColumnIndex(1))
        return std::nullopt;
    return rs->longForColumnIndex(0);
}

std::string_view ZarnPSqLiteNotificationAreaDao::candidateCondition() {
    return " WHERE n.id IN (SELECT id FROM notification_area WHERE max_lat >= :area_south AND min_lat <= "
           ":area_north AND max_long >= :area_west AND min_long <= :area_east AND kind = :area_kind UNION "
           "ALL "
           "SELECT id FROM notification_area WHERE max_lat >= 1000000 AND min_lat <= 1000000 AND kind = "
           ":area_kind)";
}

std::optional<int64_t> ZarnPSqLiteNotificationAreaDao::candidateCount(ZarnPDatabase& database, int regionType,
                                                                      double south, double north, double west,
                                                                      double east) {
    auto rs = database.executeQueryWithParameterDictionary(
        "SELECT (SELECT COUNT(*) FROM notification_area WHERE max_lat >= :area_south AND min_lat <= "
        ":area_north AND max_long >= :area_west AND min_long <= :area_east AND kind = :area_kind) + (SELECT "
        "COUNT(*) FROM notification_area WHERE max_lat >= 1000000 AND min_lat <= 1000000 AND kind = "
        ":area_kind)",
        {{"area_south", south},
         {"area_north", north},
         {"area_west", west},
         {"area_east", east},
         {"area_kind", regionType}});
    if (!rs || !rs->next())
        return std::nullopt;
    return rs->longForColumnIndex(0);
}

std::optional<std::string> ZarnPSqLiteNotificationAreaDao::disagreement(ZarnPDatabase& database) {
    if (!trustedCount(database))
        return std::string("the index is missing or does not hold one entry per notification");
    if (auto rs = database.executeQuery("SELECT rtreecheck('notification_area')"); !rs || !rs->next())
        return std::string("the tree cannot be checked");
    else if (auto answer = rs->stringForColumnIndex(0).value_or(""); answer != "ok")
        return "the tree is damaged: " + answer;
    Entries expected = readEntries(database, boxesOf("1"));
    Entries stored =
        readEntries(database, "SELECT id, min_lat, max_lat, min_long, max_long, kind FROM notification_area");
    for (const auto& [id, entry] : expected) {
        auto found = stored.find(id);
        if (found == stored.end())
            return format("notification %@ has no entry", id);
        const auto& [minLat, maxLat, minLong, maxLong, kind] = entry;
        const auto& [sMinLat, sMaxLat, sMinLong, sMaxLong, sKind] = found->second;
        if (kind != sKind)
            return format("notification %@ has an entry of another kind", id);
        if (!(holdsLow(sMinLat, minLat) && holdsHigh(sMaxLat, maxLat) && holdsLow(sMinLong, minLong) &&
              holdsHigh(sMaxLong, maxLong)))
            return format("notification %@ has another box", id);
    }
    if (stored.size() != expected.size())
        return std::string("the index holds entries of notifications that are gone");
    return std::nullopt;
}

}  // namespace zarn
