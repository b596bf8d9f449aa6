#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPDataUpdateTables.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

class ZarnPSqLiteSegmentationPropertiesDao;
class ZarnPSqLiteTimeSpanDao;

// The table "campaign": the message, action and rules of a campaign, one row per campaign of
// each data update (server_id is not unique; a row lives as long as a notification refers to it).
// Absent or empty texts, handler type 0 and the data update's -1 for a value not set are stored as
// NULL; the campaign's start and end are kept in seconds. Every write raises
// ZarnPDatabaseException on failure.
class ZarnPSqLiteCampaignDao final : public ZarnPSqLiteDao {
  public:
    // Both stores are required.
    ZarnPSqLiteCampaignDao(std::shared_ptr<ZarnPSqLiteDb> db,
                           std::shared_ptr<ZarnPSqLiteSegmentationPropertiesDao> segmentationPropertiesDao,
                           std::shared_ptr<ZarnPSqLiteTimeSpanDao> timeSpanDao);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {
            {"campaign",
             "id server_id message handler_type data trigger_on_exit dwelling_minutes experiment_id "
             "experiment_message_id campaign_start_timestamp campaign_end_timestamp ignore_app_cooldown"}};
    }

    // Writes the campaign under a new id (returned) with its time spans and segmentation rules.
    int64_t save(const dataupdate::CampaignDTO& campaign);
    // The campaigns no notification refers to, with their time spans and rules.
    void deleteOrphanCampaigns();

    // Milliseconds since 1970 to the stored seconds (toward zero); nothing for -1 before or after.
    static std::optional<int64_t> timestampInSeconds(int64_t milliseconds);

  private:
    std::shared_ptr<ZarnPSqLiteSegmentationPropertiesDao> segmentationPropertiesDao_;
    std::shared_ptr<ZarnPSqLiteTimeSpanDao> timeSpanDao_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
