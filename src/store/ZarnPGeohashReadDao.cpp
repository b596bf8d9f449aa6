#include "store/ZarnPGeohashReadDao.h"

#include "store/ZarnPDatabase.h"

namespace zarn {

std::vector<ZarnPLoadedTile> ZarnPGeohashReadDao::getLoadedTiles() {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::vector<ZarnPLoadedTile> tiles;
    auto connection = database();
    auto rs = connection ? connection->executeQuery("SELECT value, version FROM geohash") : nullptr;
    while (rs && rs->next())
        tiles.emplace_back(rs->stringForColumn("value").value_or(""), rs->longForColumn("version"));
    return tiles;
}

}  // namespace zarn
