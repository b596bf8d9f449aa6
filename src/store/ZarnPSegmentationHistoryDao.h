#pragma once
#include <compare>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/ZarnPSegmentationProperty.h"

namespace zarn {

// One history count is asked for a segmentation id over a period: the rule's interval in
// seconds (0 when the rule has none). Two rules on one id with different periods get their own
// counts.
struct ZarnPSegmentationHistoryKey {
    std::string segmentationId;
    int32_t interval = 0;

    auto operator<=>(const ZarnPSegmentationHistoryKey&) const = default;
    bool operator==(const ZarnPSegmentationHistoryKey&) const = default;

    // The key a rule is counted under: its key and its interval (0 when absent).
    static ZarnPSegmentationHistoryKey forRule(const ZarnPSegmentationProperty& rule) {
        return {rule.key(), rule.interval().value_or(0)};
    }
};

// Trigger counts by (segmentation id, interval); a key without triggers in its period is absent.
using ZarnPSegmentationHistoryCounts = std::map<ZarnPSegmentationHistoryKey, int>;

// When notifications carrying a segmentation id were triggered, for the history rules of the
// segmentation validator. SDK thread only.
class ZarnPSegmentationHistoryDao {
  public:
    virtual ~ZarnPSegmentationHistoryDao() = default;

    // For each rule, the number of triggers of its key later than startTime minus its interval
    // (whole seconds since 1970). Empty for no rules, and when the count cannot be read.
    virtual ZarnPSegmentationHistoryCounts findSegmentationHistoryCount(
        const std::vector<ZarnPSegmentationProperty>& rules, int64_t startTime) = 0;
    // Records one trigger per id at `time` (whole seconds since 1970); the same id at the same
    // second is kept once. Joins the caller's transaction, else runs in its own. Raises
    // ZarnPDatabaseException when a write fails, after undoing a transaction it began itself.
    virtual void saveSegmentationIdsTrigger(const std::vector<std::string>& segmentationIds,
                                            int64_t time) = 0;
    // Forgets every recorded trigger (all data cleared); a failure is logged, never raised.
    virtual void clearSegmentationHistory() = 0;

    // The count a rule is judged by: 0 when its key has no trigger in its period.
    static int countForRule(const ZarnPSegmentationHistoryCounts& counts,
                            const ZarnPSegmentationProperty& rule) {
        auto it = counts.find(ZarnPSegmentationHistoryKey::forRule(rule));
        return it == counts.end() ? 0 : it->second;
    }
};

}  // namespace zarn
