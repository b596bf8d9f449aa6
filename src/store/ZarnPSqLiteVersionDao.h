#pragma once
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// The schema version of the file: one row in the table "version". A file without it is at 0.
class ZarnPSqLiteVersionDao : public ZarnPSqLiteDao {
  public:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override { return {{"version", "v"}}; }
    // 0 when there is no row or no table.
    int currentVersion();
    // Replaces the stored row in one transaction (the migration's, when one is open); false (logged, nothing
    // changed) on failure.
    bool setCurrentVersion(int version);
};

}  // namespace zarn
