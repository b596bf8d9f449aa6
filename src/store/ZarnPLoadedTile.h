#pragma once
#include <cstdint>
#include <string>

#include "zarn/Value.h"

namespace zarn {

// A geohash tile the store holds, at the version it was saved with. Every data-update request
// lists these so that the service sends only what changed. A plain value; any thread.
class ZarnPLoadedTile {
  public:
    ZarnPLoadedTile() = default;
    ZarnPLoadedTile(std::string tile, int64_t version) : tile_(std::move(tile)), version_(version) {}

    const std::string& tile() const { return tile_; }
    void setTile(std::string v) { tile_ = std::move(v); }
    int64_t version() const { return version_; }
    void setVersion(int64_t v) { version_ = v; }

    // {"id": tile, "version": version}: the request form, listed under "loadedTiles".
    Value asDictionary() const;

    bool operator==(const ZarnPLoadedTile&) const = default;
    std::string description() const;

  private:
    std::string tile_;
    int64_t version_ = 0;
};

}  // namespace zarn
