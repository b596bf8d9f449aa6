// libFuzzer target: gzip/zlib decompression of arbitrary bytes (pushed payloads are untrusted).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/ZarnPGzipHelper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kCap = 4u << 20;  // keep bombs cheap under the fuzzer
    auto out = zarn::ZarnPGzipHelper::gzipInflate(std::span<const std::uint8_t>(data, size), kCap);
    if (out && out->size() > kCap)
        std::abort();
    if (out && !out->empty()) {
        // What inflates deflates and inflates back to the same bytes.
        auto again = zarn::ZarnPGzipHelper::gzipDeflate(*out);
        if (!again)
            std::abort();
        auto back = zarn::ZarnPGzipHelper::gzipInflate(*again, kCap);
        if (!back || *back != *out)
            std::abort();
    }
    return 0;
}
