#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zarn {

// gzip compression and decompression over zlib. Stateless; any thread.
class ZarnPGzipHelper {
  public:
    // Decompressed payloads larger than this are refused: pushed data updates are untrusted,
    // and a small bomb must not exhaust memory.
    static constexpr std::size_t kDefaultMaxInflatedSize = 64u * 1024u * 1024u;

    // The data in the gzip format (deflate level -1, method 8, window bits 31, memory level 8,
    // strategy 0); the empty input itself when empty; nullopt when the compressor cannot be
    // initialised or fails.
    static std::optional<std::vector<std::uint8_t>> gzipDeflate(std::span<const std::uint8_t> data);
    static std::optional<std::vector<std::uint8_t>> gzipDeflate(std::string_view data);

    // The decompressed data of a complete gzip or zlib stream (window bits 47: the header is
    // detected); the empty input itself when empty. nullopt when the input is corrupt or
    // truncated, or when the output would exceed `maxInflatedSize` bytes. Bytes after the end
    // of the first stream are ignored.
    static std::optional<std::vector<std::uint8_t>> gzipInflate(
        std::span<const std::uint8_t> data, std::size_t maxInflatedSize = kDefaultMaxInflatedSize);
    static std::optional<std::vector<std::uint8_t>> gzipInflate(
        std::string_view data, std::size_t maxInflatedSize = kDefaultMaxInflatedSize);
};

}  // namespace zarn
