#include "store/ZarnPSqLiteSegmentationHistoryDao.h"

#include <algorithm>
#include <optional>
#include <set>

#include "core/ZarnPLogger.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPResultSet.h"
#include "store/ZarnPTransaction.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "ZarnPSqLiteSegmentationHistoryDao";
// The interval is selected back so that each row names the (id, interval) it answers.
constexpr std::string_view kCountSubselect =
    "SELECT segmentation_id, count(*), ? FROM notification_segmentation_history WHERE segmentation_id=? AND "
    "timestamp > ? GROUP BY segmentation_id";
constexpr std::string_view kUnion = " UNION ALL ";
}  // namespace

void ZarnPSqLiteSegmentationHistoryDao::createOrUpdate(int version) {
    if (version < 18) {
        if (auto db = database())
            db->executeUpdate(
                "CREATE TABLE IF NOT EXISTS notification_segmentation_history (segmentation_id TEXT NOT "
                "NULL,timestamp INTEGER NOT NULL,PRIMARY KEY(segmentation_id, timestamp));");
    }
}

ZarnPSegmentationHistoryCounts ZarnPSqLiteSegmentationHistoryDao::findSegmentationHistoryCount(
    const std::vector<ZarnPSegmentationProperty>& rules, int64_t startTime) {
    ZARN_CHECK_SEQUENCE(sequence_);
    ZarnPSegmentationHistoryCounts counts;
    // Rules that share an id and an interval share one count.
    std::vector<ZarnPSegmentationHistoryKey> keys;
    std::set<ZarnPSegmentationHistoryKey> seen;
    for (const auto& rule : rules) {
        auto key = ZarnPSegmentationHistoryKey::forRule(rule);
        if (seen.insert(key).second)
            keys.push_back(std::move(key));
    }
    if (keys.empty())
        return counts;
    auto db = database();
    if (!db)
        return {};
    for (size_t first = 0; first < keys.size(); first += kMaxSubselectsPerStatement) {
        size_t last = std::min(keys.size(), first + kMaxSubselectsPerStatement);
        std::string sql;
        std::vector<ZarnPSqlValue> arguments;
        arguments.reserve(3 * (last - first));
        for (size_t i = first; i < last; ++i) {
            if (i != first)
                sql += kUnion;
            sql += kCountSubselect;
            arguments.emplace_back(keys[i].interval);
            arguments.emplace_back(keys[i].segmentationId);
            arguments.emplace_back(startTime - static_cast<int64_t>(keys[i].interval));
        }
        auto rs = db->executeQueryWithArgumentsInArray(sql, arguments);
        if (!rs)
            return {};
        while (rs->next()) {
            auto id = rs->stringForColumnIndex(0);
            if (id)
                counts[{*id, static_cast<int32_t>(rs->longForColumnIndex(2))}] = rs->intForColumnIndex(1);
        }
        if (db->hadError())
            return {};
    }
    return counts;
}

void ZarnPSqLiteSegmentationHistoryDao::saveSegmentationIdsTrigger(
    const std::vector<std::string>& segmentationIds, int64_t time) {
    ZARN_CHECK_SEQUENCE(sequence_);
    // Begun here only when the caller holds none; the guard undoes it when an insert raises, also
    // inside the caller's.
    ZarnPTransaction transaction(database(), ZarnPDurability::Normal, ZarnPTransaction::Mode::JoinOrBegin);
    for (const auto& id : segmentationIds) {
        executeUpdate(
            "INSERT OR IGNORE INTO notification_segmentation_history(segmentation_id, timestamp) VALUES (?, "
            "?)",
            id, time);
        LogDebug(kDomain, "Saving segmentationId trigger for id %@ at %ld", id, time);
    }
    transaction.commit();
}

void ZarnPSqLiteSegmentationHistoryDao::clearSegmentationHistory() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto db = database();
    bool success = db && db->executeUpdate("DELETE FROM notification_segmentation_history;");
    Error error;
    if (setErrorOnError(&error, success))
        LogNsError(kDomain, error, "Failed to clear segmentation history");
}

}  // namespace zarn
