#pragma once
#include <cstdint>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPDataUpdateTables.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The table "timespan": the periods in which a campaign is active, kept in the data update's
// milliseconds without conversion (an open bound stays -1). Rows go with their campaign
// (ON DELETE CASCADE). A failed insert raises ZarnPDatabaseException.
class ZarnPSqLiteTimeSpanDao final : public ZarnPSqLiteDao {
  public:
    explicit ZarnPSqLiteTimeSpanDao(std::shared_ptr<ZarnPSqLiteDb> db);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"timespan", "campaignid startTimestamp endTimestamp"}};
    }
    void save(const dataupdate::TimeSpanDTO& timeSpan, int64_t campaignId);

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
