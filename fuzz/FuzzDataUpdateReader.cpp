// libFuzzer target: the data-update reader on arbitrary bytes (fetched and pushed updates), then
// a walk of every accessor of what it accepted, as the table writers read it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "sim/service/DataUpdateWalker.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "zarn/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact copy: libFuzzer's buffer is not always aligned for the update's 64-bit scalars.
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size ? size : 1]);
    if (size)
        std::memcpy(copy.get(), data, size);
    const auto* root = zarn::ZarnPDataUpdateReader::read(std::span<const std::uint8_t>(copy.get(), size));
    if (!root)
        return 0;
    auto walk = zarn::sim::DataUpdateWalker::walk(*root);
    if (walk.notifications < walk.locations)
        std::abort();
    return 0;
}
