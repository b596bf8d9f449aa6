#include "store/ZarnPLoadedTile.h"

#include "core/Format.h"

namespace zarn {

Value ZarnPLoadedTile::asDictionary() const {
    return Value{{"id", tile_}, {"version", version_}};
}

std::string ZarnPLoadedTile::description() const {
    return format("<ZarnPLoadedTile tile: %@ version: %lld>", tile_, static_cast<long long>(version_));
}

}  // namespace zarn
