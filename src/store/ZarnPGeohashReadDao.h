#pragma once
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPLoadedTile.h"
#include "store/ZarnPSqLiteDao.h"

namespace zarn {

// Reads the loaded tiles for the data-update request. Owns no table and no migration; a failed
// query gives an empty list.
class ZarnPGeohashReadDao final : public ZarnPSqLiteDao {
  public:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    // One tile per geohash row, in the order the rows come.
    std::vector<ZarnPLoadedTile> getLoadedTiles();

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
