#include "store/ZarnPSqLiteCooldownDao.h"

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPResultSet.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SqLiteCooldownDao";

// Older files kept the last matches per region kind; a group can be in both (the app-wide one
// always is), so a merged group keeps its latest date.
constexpr const char* kMergeGeofenceMatches =
    "INSERT INTO matched_cooldown_groups(cooldown_group, last_match_date) SELECT cooldown_group, "
    "MAX(last_match_date) FROM notifications_matched_cooldown_groups WHERE cooldown_group IS NOT NULL AND "
    "last_match_date IS NOT NULL GROUP BY cooldown_group ON CONFLICT(cooldown_group) DO UPDATE SET "
    "last_match_date = MAX(last_match_date, excluded.last_match_date);";
constexpr const char* kMergeBeaconMatches =
    "INSERT INTO matched_cooldown_groups(cooldown_group, last_match_date) SELECT cooldown_group, "
    "MAX(last_match_date) FROM beacon_notifications_matched_cooldown_groups WHERE cooldown_group IS NOT NULL "
    "AND "
    "last_match_date IS NOT NULL GROUP BY cooldown_group ON CONFLICT(cooldown_group) DO UPDATE SET "
    "last_match_date = MAX(last_match_date, excluded.last_match_date);";
}  // namespace

void ZarnPSqLiteCooldownDao::createOrUpdate(int version) {
    if (version >= 15)
        return;
    auto db = database();
    if (!db)
        return;
    Error error;
    bool failed = false;
    // Each statement runs only while none before it failed; what ran is kept.
    auto run = [&](const char* sql) {
        if (!failed)
            failed = setErrorOnError(&error, db->executeUpdate(sql));
    };
    run("DROP TABLE IF EXISTS matched_cooldown_groups;");
    run("CREATE TABLE matched_cooldown_groups (cooldown_group VARCHAR(255) NOT NULL PRIMARY KEY, "
        "last_match_date "
        "DOUBLE NOT NULL);");
    if (version >= 8) {
        run(kMergeGeofenceMatches);
        run("DROP TABLE IF EXISTS notifications_matched_cooldown_groups;");
    }
    if (version >= 10) {
        run(kMergeBeaconMatches);
        run("DROP TABLE IF EXISTS beacon_notifications_matched_cooldown_groups;");
    }
    if (failed)
        LogNsError(kDomain, error, "Failed to initialize cooldowns");
}

std::optional<Error> ZarnPSqLiteCooldownDao::setLastMatch(const std::string& cooldownGroup, Date date) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    bool success =
        db && db->executeUpdateWithParameterDictionary(
                  "INSERT OR REPLACE INTO matched_cooldown_groups(cooldown_group, last_match_date) VALUES "
                  "(:cooldown_group, :last_match_date)",
                  {{"cooldown_group", cooldownGroup}, {"last_match_date", timeIntervalSince1970(date)}});
    return errorAfterStatement(success);
}

std::optional<Date> ZarnPSqLiteCooldownDao::lastCooldownGroupMatch(const std::string& cooldownGroup) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    auto rs =
        db ? db->executeQueryWithParameterDictionary(
                 "SELECT last_match_date FROM matched_cooldown_groups WHERE cooldown_group = :cooldown_group",
                 {{"cooldown_group", cooldownGroup}})
           : nullptr;
    if (rs && rs->next())
        return rs->dateForColumnIndex(0);
    return std::nullopt;
}

void ZarnPSqLiteCooldownDao::clearAllMatches() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    bool success = db && db->executeUpdate("DELETE FROM matched_cooldown_groups;");
    Error error;
    if (setErrorOnError(&error, success))
        LogNsError(kDomain, error, "Failed to delete cooldown groups");
}

}  // namespace zarn
