#pragma once
#include <optional>
#include <string>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPSqLiteDao.h"
#include "zarn/Date.h"
#include "zarn/Error.h"

namespace zarn {

// The table "matched_cooldown_groups": when each cooldown group last fired, shared by every
// region kind. Nothing here raises: a write answers its error, a failed read answers nothing and
// a failed clear is logged in the domain "SqLiteCooldownDao".
class ZarnPSqLiteCooldownDao : public ZarnPSqLiteDao {
  public:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"matched_cooldown_groups", "cooldown_group last_match_date"}};
    }
    // Merging the last-match times of older files only logs when it fails.
    bool migrationFailsOnAFailedStatement() const override { return false; }

    // One row per group: a later call replaces the date.
    std::optional<Error> setLastMatch(const std::string& cooldownGroup, Date date);
    // Nothing when the group never fired.
    std::optional<Date> lastCooldownGroupMatch(const std::string& cooldownGroup);
    void clearAllMatches();

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
