#pragma once
#include <cstdint>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPDataUpdateTables.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The table "segmentation_property": the segmentation rules of a campaign. An absent or empty
// key or value, and an interval or occurrences of -1 (not set), are stored as NULL; the type and
// operator are stored as sent (0 when absent). Rows go with their campaign (ON DELETE CASCADE).
// A failed insert raises ZarnPDatabaseException.
class ZarnPSqLiteSegmentationPropertiesDao final : public ZarnPSqLiteDao {
  public:
    explicit ZarnPSqLiteSegmentationPropertiesDao(std::shared_ptr<ZarnPSqLiteDb> db);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override {
        return {
            {"segmentation_property", "campaignid key value property_type operator interval occurrences"}};
    }
    void save(const dataupdate::SegmentationPropertyDTO& property, int64_t campaignId);

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
