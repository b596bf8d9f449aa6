#include "store/ZarnPSqLiteNotificationAreaDao.h"

#include <cmath>
#include <cstdint>
#include <iterator>
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
// How far from the equator and the prime meridian a box may reach: its points within 10,000
// degrees (kPlaced), its ranges within 10 more, each bound rounded outwards to 32 bits by less
// than a hundredth of a degree there.
constexpr double kBoxedReach = 10011;

// One entry per notification; "%@" is the condition on the notification rows. Read from the rows
// alone: a trigger that read the tree and then wrote it would find it locked.
constexpr std::string_view kBoxes =
    "SELECT max(id) box_id, CASE WHEN %@ THEN min(lat - dlat) ELSE %@ END box_south, CASE WHEN %@ THEN "
    "max(lat + dlat) ELSE %@ END box_north, CASE WHEN %@ THEN min(lon - dlon) ELSE %@ END box_west, CASE "
    "WHEN "
    "%@ THEN max(lon + dlon) ELSE %@ END box_east, max(kind) box_kind FROM (%@) GROUP BY id";

// The values a new circle ("%@": NEW) of a notification is ranked by, as kPoints reads them.
constexpr std::string_view kCirclePoint =
    "SELECT coalesce(%@.latitude, n.latitude) lat, coalesce(%@.longitude, n.longitude) lon, "
    "abs(ifnull(n.match_range_lat, 0)) dlat, abs(ifnull(n.match_range_long, 0)) dlon, "
    "typeof(n.match_range_lat) IN ('integer', 'real', 'null') AND typeof(n.match_range_long) IN ('integer', "
    "'real', 'null') numeric_ranges FROM notification n WHERE n.id = %@.notification_internal_id";

// Whether the box of a notification of at least one circle ("notification_area") stays a box with
// the circle ("v") added: the same rule as kPlaced, over the stored bounds.
constexpr std::string_view kWidenedPlaced =
    "(typeof(v.lat) IN ('integer', 'real') AND typeof(v.lon) IN ('integer', 'real') AND v.numeric_ranges AND "
    "abs(v.lat) <= 10000 AND abs(v.lon) <= 10000 AND v.dlat <= 10 AND v.dlon <= 10 AND "
    "max(notification_area.max_lat, v.lat + v.dlat) - min(notification_area.min_lat, v.lat - v.dlat) <= 10 "
    "AND "
    "max(notification_area.max_long, v.lon + v.dlon) - min(notification_area.min_long, v.lon - v.dlon) <= "
    "10)";

enum Trigger {
    kNotificationInsert,
    kNotificationUpdate,
    kNotificationDelete,
    kPolygonFirst,
    kPolygonInsert,
    kPolygonUpdate,
    kPolygonDelete,
    kTriggerCount
};
constexpr const char* kTriggers[kTriggerCount] = {
    "notification_area_notification_insert", "notification_area_notification_update",
    "notification_area_notification_delete", "notification_area_polygon_first",
    "notification_area_polygon_insert",      "notification_area_polygon_update",
    "notification_area_polygon_delete"};
constexpr const char* kTable =
    "CREATE VIRTUAL TABLE notification_area USING rtree(id, min_lat, max_lat, min_long, max_long, min_kind, "
    "max_kind)";
// The tree's own tables, which the module makes with it.
constexpr const char* kShadowTables[] = {"notification_area_node", "notification_area_rowid",
                                         "notification_area_parent"};
// Each entry written to the tree, or taken from it, writes its row of this one.
constexpr const char* kEntryTable = kShadowTables[1];

std::string boxesOf(std::string_view condition) {
    return format(kBoxes, kPlaced, kAnywhere, kPlaced, kAnywhere, kPlaced, kAnywhere, kPlaced, kAnywhere,
                  format(kPoints, kKind, condition));
}

// Writes the entries of the notifications the condition keeps, their kind a range of one value:
// the tree tells the kinds apart as it does places, without a look-up per entry.
std::string entriesOf(std::string_view condition) {
    return format(
        "INSERT INTO notification_area (id, min_lat, max_lat, min_long, max_long, min_kind, max_kind) SELECT "
        "box_id, box_south, box_north, box_west, box_east, box_kind, box_kind FROM (%@)",
        boxesOf(condition));
}

// The statements that bring notification `id` (an expression of the trigger) up to date.
std::string forget(std::string_view id) {
    return format("DELETE FROM notification_area WHERE id = %@; ", id);
}
std::string refresh(std::string_view id) {
    return forget(id) + format("%@; ", entriesOf(format("n.id = %@", id)));
}
// A later circle of a notification widens its box, or turns it into the far point; a box already
// there, or holding the circle, is left alone.
std::string widen() {
    auto bound = [](const char* column, const char* pick, const char* value) {
        return format("%@ = CASE WHEN %@ THEN %@(notification_area.%@, %@) ELSE %@ END", column,
                      kWidenedPlaced, pick, column, value, kAnywhere);
    };
    return format(
        "UPDATE notification_area SET %@, %@, %@, %@ FROM (%@) v WHERE notification_area.id = "
        "NEW.notification_internal_id AND notification_area.min_lat < %@ AND (NOT %@ OR v.lat - v.dlat < "
        "notification_area.min_lat OR v.lat + v.dlat > notification_area.max_lat OR v.lon - v.dlon < "
        "notification_area.min_long OR v.lon + v.dlon > notification_area.max_long); ",
        bound("min_lat", "min", "v.lat - v.dlat"), bound("max_lat", "max", "v.lat + v.dlat"),
        bound("min_long", "min", "v.lon - v.dlon"), bound("max_long", "max", "v.lon + v.dlon"),
        format(kCirclePoint, "NEW", "NEW", "NEW"), kAnywhere, kWidenedPlaced);
}

constexpr std::string_view kOtherCircle =
    "EXISTS (SELECT 1 FROM polygon o WHERE o.notification_internal_id = NEW.notification_internal_id AND "
    "o.id != NEW.id)";

std::string triggerSql(Trigger trigger) {
    auto make = [&](std::string_view when, const std::string& body) {
        return format("CREATE TRIGGER %@ %@ BEGIN %@END", kTriggers[trigger], when, body);
    };
    switch (trigger) {
        case kNotificationInsert:
            return make("AFTER INSERT ON notification", refresh("NEW.id"));
        case kNotificationUpdate:
            return make(
                "AFTER UPDATE OF id, latitude, longitude, match_range_lat, match_range_long, beacon_uuid, "
                "is_external_region ON notification",
                forget("OLD.id") + refresh("NEW.id"));
        case kNotificationDelete:
            return make("AFTER DELETE ON notification", forget("OLD.id"));
        case kPolygonFirst:
            return make(format("AFTER INSERT ON polygon WHEN NOT %@", kOtherCircle),
                        refresh("NEW.notification_internal_id"));
        case kPolygonInsert:
            return make(format("AFTER INSERT ON polygon WHEN %@", kOtherCircle), widen());
        case kPolygonUpdate:
            return make("AFTER UPDATE OF notification_internal_id, latitude, longitude ON polygon",
                        refresh("OLD.notification_internal_id") + refresh("NEW.notification_internal_id"));
        case kPolygonDelete:
            // A circle goes with its notification, whose own trigger forgot it: nothing is read then.
            return make(
                "AFTER DELETE ON polygon WHEN EXISTS (SELECT 1 FROM notification WHERE id = "
                "OLD.notification_internal_id)",
                refresh("OLD.notification_internal_id"));
        case kTriggerCount:
            break;
    }
    return {};
}

int64_t single(ZarnPDatabase& database, std::string_view sql) {
    auto rs = database.executeQuery(sql);
    int64_t value = rs && rs->next() ? rs->longForColumnIndex(0) : -1;
    return value;
}

// Runs `steps` in a savepoint: kept whole, or rolled back whole.
template <typename Steps>
bool inSavepoint(ZarnPDatabase& database, Steps steps) {
    if (!database.executeUpdate("SAVEPOINT notification_area"))
        return false;
    bool done = steps();
    // SQLite may have given the whole transaction up with a failed statement: then there is
    // nothing left to roll back to.
    if (!done && database.hasOpenTransaction())
        database.executeUpdate("ROLLBACK TO notification_area");
    if (database.hasOpenTransaction())
        database.executeUpdate("RELEASE notification_area");
    return done;
}

bool dropAll(ZarnPDatabase& database) {
    // Names of every release: a file may hold a trigger that this one no longer makes.
    for (const char* trigger : kTriggers)
        if (!database.executeUpdate(format("DROP TRIGGER IF EXISTS %@", trigger)))
            return false;
    return database.executeUpdate("DROP TABLE IF EXISTS notification_area");
}

// Writes every notification's entry, kFillPart notifications at a time (in the order of their
// ids, which a save gives out tile by tile), each part in order of place, in bands of 1/16
// degree: each entry then mostly goes to a node the one before it went to. A sort of every
// entry at once would hold them all in memory, many megabytes in a large store.
bool fillInParts(ZarnPDatabase& database) {
    constexpr int64_t kFillPart = 12288;
    const std::string fill =
        entriesOf("n.id >= ?1 AND n.id <= ?2") + " ORDER BY CAST(box_south * 16 AS INTEGER), box_west";
    for (int64_t first = single(database, "SELECT ifnull(min(id), 0) FROM notification");;) {
        // The last id of the part, read along the rows' own index; none for the last part.
        auto rs = database.executeQuery(
            "SELECT id FROM notification WHERE id >= ?1 ORDER BY id LIMIT 1 OFFSET ?2", first, kFillPart - 1);
        if (!rs)
            return false;
        std::optional<int64_t> last;
        if (rs->next())
            last = rs->longForColumnIndex(0);
        rs->close();
        if (!database.executeUpdate(fill, first, last.value_or(INT64_MAX)))
            return false;
        if (!last || *last == INT64_MAX)
            return true;
        first = *last + 1;
    }
}

bool buildSteps(ZarnPDatabase& database) {
    if (!dropAll(database))
        return false;
    if (single(database,
               "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN ('notification', "
               "'polygon')") != 2)
        return true;  // nothing to index yet
    if (!database.executeUpdate(kTable))
        return false;
    if (!fillInParts(database))
        return false;
    for (int trigger = 0; trigger < kTriggerCount; ++trigger)
        if (!database.executeUpdate(triggerSql(static_cast<Trigger>(trigger))))
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

// The build in a transaction of its own; a failure (logged) leaves the file as it was. Nobody
// is told of the index, which the next opening builds again: its commit needs no sync.
void buildInTransaction(ZarnPDatabase& database) {
    if (!database.beginTransaction(ZarnPDurability::Normal)) {
        LogWarn(kDomain, "The nearest reads run without their index: %@", database.lastErrorMessage());
        return;
    }
    if (!ZarnPSqLiteNotificationAreaDao::build(database)) {
        if (database.hasOpenTransaction())
            database.rollback();
        return;
    }
    if (!database.commit()) {
        LogWarn(kDomain, "The nearest reads run without their index: %@", database.lastErrorMessage());
        if (database.hasOpenTransaction())
            database.rollback();
    }
}

}  // namespace

ZarnPSqLiteNotificationAreaDao::ZarnPSqLiteNotificationAreaDao(std::shared_ptr<ZarnPSqLiteDb> db)
    : ZarnPSqLiteDao(std::move(db)) {
    setTableName("notification_area");
}

void ZarnPSqLiteNotificationAreaDao::createOrUpdate(int) {
    auto connection = database();
    if (!connection || isWhole(*connection))
        return;
    // Over an empty store the build writes the schema only, as every other store's migration does;
    // over stored rows (or leftovers to drop) it waits until the migration has committed, so that
    // a failure costs the index and never the opening.
    if (single(*connection, "SELECT COUNT(*) FROM sqlite_master WHERE name LIKE 'notification_area%'") == 0 &&
        single(*connection,
               "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'notification'") == 1 &&
        single(*connection, "SELECT NOT EXISTS (SELECT 1 FROM notification)") == 1)
        build(*connection);
}

void ZarnPSqLiteNotificationAreaDao::afterMigration() {
    auto connection = database();
    if (!connection || isWhole(*connection) || connection->hasOpenTransaction())
        return;
    buildInTransaction(*connection);
}

void ZarnPSqLiteNotificationAreaDao::afterWholeFileCheck() {
    auto connection = database();
    if (!connection || !isWhole(*connection) || connection->hasOpenTransaction())
        return;
    if (single(*connection,
               "SELECT (SELECT COUNT(*) FROM notification) = (SELECT COUNT(*) FROM "
               "notification_area_rowid)") == 1)
        return;
    LogInfo(kDomain, "The nearest reads' index does not hold every notification; it is built again");
    buildInTransaction(*connection);
}

bool ZarnPSqLiteNotificationAreaDao::isWhole(ZarnPDatabase& database) {
    std::map<std::string, std::string> expected{{"notification_area", kTable}};
    for (int trigger = 0; trigger < kTriggerCount; ++trigger)
        expected.emplace(kTriggers[trigger], triggerSql(static_cast<Trigger>(trigger)));
    std::string names;
    for (const auto& [name, sql] : expected) names += format("'%@', ", name);
    for (const char* shadow : kShadowTables) names += format("'%@', ", shadow);
    names.resize(names.size() - 2);
    size_t found = 0;
    if (auto rs =
            database.executeQuery(format("SELECT name, sql FROM sqlite_master WHERE name IN (%@)", names)))
        while (rs->next()) {
            auto name = rs->stringForColumnIndex(0).value_or("");
            auto it = expected.find(name);
            if (it != expected.end() && rs->stringForColumnIndex(1) != it->second)
                return false;  // made by another release
            ++found;
        }
    return found == expected.size() + std::size(kShadowTables);
}

bool ZarnPSqLiteNotificationAreaDao::drop(ZarnPDatabase& database) {
    return inSavepoint(database, [&] { return dropAll(database); });
}

bool ZarnPSqLiteNotificationAreaDao::dropLeftovers(ZarnPDatabase& database) {
    if (isWhole(database))
        return true;
    bool dropped = drop(database);
    if (!dropped)
        LogWarn(kDomain, "The nearest reads' index cannot be dropped: %@", database.lastErrorMessage());
    return dropped;
}

bool ZarnPSqLiteNotificationAreaDao::build(ZarnPDatabase& database) {
    if (!database.hasOpenTransaction()) {
        bool built = inSavepoint(database, [&] { return buildSteps(database); });
        if (!built)
            LogWarn(kDomain, "The nearest reads run without their index: %@", database.lastErrorMessage());
        return built;
    }
    // Inside a transaction that has written rows a savepoint would keep a copy of each page the
    // build writes of those (in memory, where the connection keeps its temporary files): a
    // failed build drops what it made instead.
    if (buildSteps(database))
        return true;
    LogWarn(kDomain, "The nearest reads run without their index: %@", database.lastErrorMessage());
    if (database.hasOpenTransaction())
        dropAll(database);
    return false;
}

bool ZarnPSqLiteNotificationAreaDao::Trust::isWhole(ZarnPDatabase& database) {
    std::optional<int64_t> version = database.schemaVersion();
    if (!version || connection_.lock().get() != &database || version != schemaVersion_) {
        whole_ = version && ZarnPSqLiteNotificationAreaDao::isWhole(database);
        connection_ = database.weak_from_this();
        schemaVersion_ = version;
    }
    return whole_;
}

std::string_view ZarnPSqLiteNotificationAreaDao::candidateCondition() {
    return " WHERE n.id IN (SELECT id FROM notification_area WHERE max_lat >= :area_south AND min_lat <= "
           ":area_north AND max_long >= :area_west AND min_long <= :area_east AND min_kind <= :area_kind AND "
           "max_kind >= :area_kind UNION "
           "ALL "
           "SELECT id FROM notification_area WHERE max_lat >= 1000000 AND min_lat <= 1000000 AND min_kind <= "
           ":area_kind AND max_kind >= :area_kind)";
}

bool ZarnPSqLiteNotificationAreaDao::holdsEveryBox(double south, double north, double west, double east) {
    return south <= -kBoxedReach && north >= kBoxedReach && west <= -kBoxedReach && east >= kBoxedReach;
}

std::optional<int64_t> ZarnPSqLiteNotificationAreaDao::boxCount(ZarnPDatabase& database, int regionType,
                                                                double south, double north, double west,
                                                                double east, int64_t limit) {
    auto rs = database.executeQueryWithParameterDictionary(
        "SELECT COUNT(*) FROM (SELECT 1 FROM notification_area WHERE max_lat >= :area_south AND min_lat <= "
        ":area_north AND max_long >= :area_west AND min_long <= :area_east AND min_kind <= :area_kind AND "
        "max_kind >= :area_kind LIMIT :area_limit)",
        {{"area_south", south},
         {"area_north", north},
         {"area_west", west},
         {"area_east", east},
         {"area_kind", regionType},
         {"area_limit", limit}});
    if (!rs || !rs->next())
        return std::nullopt;
    return rs->longForColumnIndex(0);
}

std::optional<int64_t> ZarnPSqLiteNotificationAreaDao::kindCount(ZarnPDatabase& database, int regionType,
                                                                 bool unplacedOnly, int64_t limit) {
    auto rs = database.executeQuery(
        unplacedOnly ? "SELECT COUNT(*) FROM (SELECT 1 FROM notification_area WHERE max_lat >= 1000000 AND "
                       "min_lat <= 1000000 AND min_kind <= ?1 AND max_kind >= ?1 LIMIT ?2)"
                     : "SELECT COUNT(*) FROM (SELECT 1 FROM notification_area WHERE min_kind <= ?1 AND "
                       "max_kind >= ?1 LIMIT ?2)",
        regionType, limit);
    if (!rs || !rs->next())
        return std::nullopt;
    return rs->longForColumnIndex(0);
}

std::optional<ZarnPSqLiteNotificationAreaDao::Census::Key> ZarnPSqLiteNotificationAreaDao::Census::keyNow(
    ZarnPDatabase& database) {
    std::optional<int64_t> schema = database.schemaVersion();
    auto data = database.executeQuery("PRAGMA data_version");
    if (!schema || !data || !data->next())
        return std::nullopt;
    Key key{*schema, data->longForColumnIndex(0), database.writesTo(kEntryTable)};
    data->close();
    return key;
}

void ZarnPSqLiteNotificationAreaDao::Census::refresh(ZarnPDatabase& database) {
    std::optional<Key> key = keyNow(database);
    if (key && key == key_ && connection_.lock().get() == &database)
        return;
    for (auto& kind : kept_)
        for (auto& kept : kind) kept.reset();
    highestId_.reset();
    key_ = key;
    connection_ = database.weak_from_this();
}

std::optional<int64_t> ZarnPSqLiteNotificationAreaDao::Census::highestId(ZarnPDatabase& database) {
    if (highestId_)
        return highestId_;
    auto rs = database.executeQuery("SELECT max(id) FROM notification");
    if (!rs || !rs->next())
        return std::nullopt;
    int64_t highest = rs->longForColumnIndex(0);
    rs->close();
    if (key_)
        highestId_ = highest;
    return highest;
}

std::optional<int64_t> ZarnPSqLiteNotificationAreaDao::Census::count(ZarnPDatabase& database, int regionType,
                                                                     bool unplacedOnly, int64_t limit) {
    if (regionType < 0 || regionType > 2)
        return std::nullopt;
    std::optional<Kept>& kept = kept_[unplacedOnly][regionType];
    // A count below its limit is the whole count; one that reached it answers any lower limit.
    if (kept && (kept->limit < 0 || kept->value < kept->limit))
        return limit < 0 ? kept->value : std::min(kept->value, limit);
    if (kept && limit >= 0 && limit <= kept->limit)
        return limit;
    std::optional<int64_t> counted = kindCount(database, regionType, unplacedOnly, limit);
    if (counted && key_)
        kept = Kept{*counted, limit};
    return counted;
}

std::optional<std::string> ZarnPSqLiteNotificationAreaDao::disagreement(ZarnPDatabase& database) {
    if (!isWhole(database))
        return std::string("the index or one of its triggers is missing");
    if (auto rs = database.executeQuery("SELECT rtreecheck('notification_area')"); !rs || !rs->next())
        return std::string("the tree cannot be checked");
    else if (auto answer = rs->stringForColumnIndex(0).value_or(""); answer != "ok")
        return "the tree is damaged: " + answer;
    Entries expected = readEntries(database, boxesOf("1"));
    Entries stored = readEntries(
        database, "SELECT id, min_lat, max_lat, min_long, max_long, max_kind FROM notification_area");
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
