#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "schema/dataupdate_generated.h"

namespace zarn {

// Locates the root of a data update after verifying the whole buffer, so that the table writers
// can walk it without bounds checks of their own. A buffer that is too short, misaligned or fails
// verification reads as no root, logged "Failed to read data update response" in the domain
// "DataUpdateReader". The root points into `data`, which must outlive every use of it.
// Stateless; any thread.
class ZarnPDataUpdateReader {
  public:
    // Nesting of tables in a legitimate update is 4 (root, tile, notification, opening hours).
    static constexpr uint32_t kMaxDepth = 16;
    // Every table the verifier visits needs an offset of 4 bytes of its own, so a buffer that
    // shares no table holds fewer than size / 4; the limit scales with the buffer, never below
    // the verifier's usual million, and bounds the work a crafted buffer of shared tables causes.
    static constexpr size_t kMinTables = 1000000;
    // Scalars of the buffer are read in place; heap storage is always this aligned.
    static constexpr size_t kRequiredAlignment = 8;

    static const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* read(
        std::span<const std::uint8_t> data);
    static const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* read(std::string_view data);

    // The verifier's table limit for a buffer of `size` bytes.
    static size_t maxTablesForSize(size_t size);
};

}  // namespace zarn
