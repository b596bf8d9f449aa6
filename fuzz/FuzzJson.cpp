// libFuzzer target: the JSON helper on arbitrary bytes (action texts, configuration, replies).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/ZarnPJson.h"
#include "zarn/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bool fragments = size > 0 && (data[0] & 1);
    zarn::Error error;
    auto parsed = zarn::ZarnPJson::parse(text, &error, fragments);
    if (!parsed) {
        if (error.code != zarn::ZarnPJson::kErrorCode)
            std::abort();
        return 0;
    }
    if (!fragments && !parsed->is_object() && !parsed->is_array())
        std::abort();
    auto back = zarn::ZarnPJson::parse(zarn::ZarnPJson::serialise(*parsed), nullptr, true);
    if (!back || *back != *parsed)
        std::abort();
    // Arbitrary bytes as a string value serialise to valid JSON.
    zarn::Value wrapped = zarn::Value::array({std::string(text)});
    if (!zarn::ZarnPJson::parse(zarn::ZarnPJson::serialise(wrapped)))
        std::abort();
    return 0;
}
