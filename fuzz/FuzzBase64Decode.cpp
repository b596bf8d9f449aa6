// libFuzzer target: Base64 decoding of arbitrary text (pushed data updates arrive as Base64).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/ZarnPDataHelper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto decoded = zarn::ZarnPDataHelper::dataFromBase64String(text);
    // Re-encoding what was decoded and decoding again is exact.
    auto encoded = zarn::ZarnPDataHelper::base64EncodedString(decoded);
    if (zarn::ZarnPDataHelper::dataFromBase64String(encoded) != decoded)
        std::abort();
    return 0;
}
