#pragma once
#include "core/ZarnPSegmentationHistoryDao.h"
#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The table "notification_segmentation_history": one row per segmentation id and trigger second.
// Counting never raises (a failed count answers nothing); recording raises the database
// exception, leaving the table as it was when it began the transaction itself.
class ZarnPSqLiteSegmentationHistoryDao final : public ZarnPSqLiteDao, public ZarnPSegmentationHistoryDao {
  public:
    // SQLite refuses a compound select of more than 500 parts.
    static constexpr size_t kMaxSubselectsPerStatement = 500;

    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {{"notification_segmentation_history", "segmentation_id timestamp"}};
    }

    ZarnPSegmentationHistoryCounts findSegmentationHistoryCount(
        const std::vector<ZarnPSegmentationProperty>& rules, int64_t startTime) override;
    void saveSegmentationIdsTrigger(const std::vector<std::string>& segmentationIds, int64_t time) override;
    void clearSegmentationHistory() override;

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
