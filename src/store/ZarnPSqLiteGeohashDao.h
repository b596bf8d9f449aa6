#pragma once
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPDataUpdateTables.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

class ZarnPContext;
class ZarnPPublicLogging;

// The table "geohash": the tiles the store holds, each with the version it was saved with.
// Deleting a tile deletes its links to notifications (ON DELETE CASCADE); the notifications left
// without a link are orphans the save deletes. Every write raises ZarnPDatabaseException on
// failure; a lookup that fails counts as not stored.
class ZarnPSqLiteGeohashDao final : public ZarnPSqLiteDao {
  public:
    // The public log explains each saved tile; without one nothing is written there.
    explicit ZarnPSqLiteGeohashDao(std::shared_ptr<ZarnPSqLiteDb> db,
                                   std::shared_ptr<ZarnPPublicLogging> publicLogDao = nullptr);

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override { return {{"geohash", "id version value"}}; }

    // A new row with a new id (returned), the tile's lastVersion and value.
    int64_t save(const dataupdate::GeohashDTO& geohash, const std::shared_ptr<ZarnPContext>& context);
    void save(const dataupdate::GeohashDTO& geohash, int64_t id,
              const std::shared_ptr<ZarnPContext>& context);
    // The id of the row holding the tile's value (which keeps its stored version), else that of a
    // new row.
    int64_t getOrSave(const dataupdate::GeohashDTO& geohash, const std::shared_ptr<ZarnPContext>& context);
    void deleteByValue(std::string_view value);
    void deleteAll();

  private:
    std::shared_ptr<ZarnPPublicLogging> publicLogDao_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
