#pragma once
// Reads every field of a verified data update the way the table writers do (strings through
// FlatBuffersUtil, locations through its finite-coordinate rule, rules as segmentation
// entities), for the fuzz target and the in-suite fuzz runs. What it counts lets a caller check
// what it read.
#include <cstddef>
#include <cstdint>

#include "schema/dataupdate_generated.h"

namespace zarn::sim {

struct DataUpdateWalk {
    size_t tiles = 0;
    size_t notifications = 0;
    size_t locations = 0;
    size_t circles = 0;
    size_t campaigns = 0;
    size_t rules = 0;
    size_t timeSpans = 0;
    size_t deletions = 0;
    size_t cooldownGroups = 0;
    size_t serverValues = 0;
    size_t stringsRead = 0;
    // Strings present in the buffer that read as absent (empty or not UTF-8).
    size_t stringsRefused = 0;
    // Every scalar folded together, so that no read is optimised away.
    uint64_t checksum = 0;
};

class DataUpdateWalker {
  public:
    static DataUpdateWalk walk(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO& update);
};

}  // namespace zarn::sim
