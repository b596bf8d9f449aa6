#include "core/ZarnPGzipHelper.h"

#include <zlib.h>
#include <algorithm>
#include <climits>
#include <new>

namespace zarn {

namespace {

constexpr std::size_t kDeflateChunk = 16384;
constexpr std::size_t kMaxZlibCount = UINT_MAX;  // avail_in / avail_out are uInt

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Ends the stream whatever path leaves the function.
struct DeflateGuard {
    z_stream* stream;
    ~DeflateGuard() { deflateEnd(stream); }
};
struct InflateGuard {
    z_stream* stream;
    bool ended = false;
    int end() {
        ended = true;
        return inflateEnd(stream);
    }
    ~InflateGuard() {
        if (!ended)
            inflateEnd(stream);
    }
};

// One zlib call's view of the buffers from the current offsets: at most kMaxZlibCount of each,
// since zlib counts in uInt.
struct Window {
    std::size_t input;
    std::size_t space;
};

Window setWindow(z_stream& stream, std::span<const std::uint8_t> data, std::size_t inputOffset,
                 std::vector<std::uint8_t>& out, std::size_t produced) {
    Window w{std::min(data.size() - inputOffset, kMaxZlibCount),
             std::min(out.size() - produced, kMaxZlibCount)};
    stream.next_in = const_cast<Bytef*>(data.data() + inputOffset);
    stream.avail_in = static_cast<uInt>(w.input);
    stream.next_out = out.data() + produced;
    stream.avail_out = static_cast<uInt>(w.space);
    return w;
}

// Moves the offsets past what the call consumed and produced.
void advance(const z_stream& stream, const Window& w, std::size_t& inputOffset, std::size_t& produced) {
    inputOffset += w.input - stream.avail_in;
    produced += w.space - stream.avail_out;
}

std::optional<std::vector<std::uint8_t>> deflateBytes(std::span<const std::uint8_t> data) {
    if (data.empty())
        return std::vector<std::uint8_t>{};
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;
    DeflateGuard guard{&stream};

    std::vector<std::uint8_t> out(kDeflateChunk);
    std::size_t inputOffset = 0;
    std::size_t produced = 0;
    for (;;) {
        if (produced == out.size())
            out.resize(out.size() + kDeflateChunk);
        Window w = setWindow(stream, data, inputOffset, out, produced);
        // Finish only once the last input chunk is in.
        bool last = inputOffset + w.input == data.size();
        int status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
        advance(stream, w, inputOffset, produced);
        if (status == Z_STREAM_END)
            break;
        if (status != Z_OK && status != Z_BUF_ERROR)
            return std::nullopt;
        if (status == Z_BUF_ERROR && stream.avail_out != 0)
            return std::nullopt;  // no progress possible
    }
    out.resize(produced);
    return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ZarnPGzipHelper::gzipDeflate(std::string_view data) {
    return gzipDeflate(bytesOf(data));
}

std::optional<std::vector<std::uint8_t>> ZarnPGzipHelper::gzipDeflate(std::span<const std::uint8_t> data) {
    try {
        return deflateBytes(data);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

namespace {

std::optional<std::vector<std::uint8_t>> inflateBytes(std::span<const std::uint8_t> data,
                                                      std::size_t maxInflatedSize) {
    if (data.empty())
        return std::vector<std::uint8_t>{};
    // The buffer never grows past one byte more than the cap: filling that byte proves the
    // output is too large.
    const std::size_t limit = maxInflatedSize == SIZE_MAX ? SIZE_MAX : maxInflatedSize + 1;
    const std::size_t half = std::max<std::size_t>(data.size() / 2, 1024);
    std::size_t initial = data.size() > SIZE_MAX - half ? SIZE_MAX : data.size() + half;

    z_stream stream{};
    if (inflateInit2(&stream, 47) != Z_OK)
        return std::nullopt;
    InflateGuard guard{&stream};

    std::vector<std::uint8_t> out(std::min(initial, limit));
    std::size_t inputOffset = 0;
    std::size_t produced = 0;
    bool done = false;
    while (!done) {
        if (produced == out.size()) {
            if (out.size() >= limit)
                return std::nullopt;  // past the cap
            std::size_t grown = out.size() > limit - std::min(limit, half) ? limit : out.size() + half;
            out.resize(std::min(grown, limit));
        }
        Window w = setWindow(stream, data, inputOffset, out, produced);
        int status = inflate(&stream, Z_SYNC_FLUSH);
        advance(stream, w, inputOffset, produced);
        if (status == Z_STREAM_END) {
            done = true;
        } else if (status != Z_OK) {
            return std::nullopt;  // corrupt, truncated (Z_BUF_ERROR: no progress) or out of memory
        }
    }
    if (produced > maxInflatedSize)
        return std::nullopt;
    if (guard.end() != Z_OK)
        return std::nullopt;
    out.resize(produced);
    return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ZarnPGzipHelper::gzipInflate(std::span<const std::uint8_t> data,
                                                                      std::size_t maxInflatedSize) {
    try {
        return inflateBytes(data, maxInflatedSize);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::vector<std::uint8_t>> ZarnPGzipHelper::gzipInflate(std::string_view data,
                                                                      std::size_t maxInflatedSize) {
    return gzipInflate(bytesOf(data), maxInflatedSize);
}

}  // namespace zarn
