#include "store/dataupdate/ZarnPDataUpdateReader.h"

#include <algorithm>
#include <limits>

#include "core/ZarnPLogger.h"

namespace zarn {

namespace fb = com::zarnkit::velto::dataupdate::fb;

namespace {
constexpr const char* kDomain = "DataUpdateReader";

const fb::DataUpdateResponseDTO* failed(const char* why) {
    LogDebug(kDomain, "Data update rejected: %s", why);
    LogInfo(kDomain, "Failed to read data update response");
    return nullptr;
}
}  // namespace

size_t ZarnPDataUpdateReader::maxTablesForSize(size_t size) {
    size_t limit = std::max(kMinTables, size / 4);
    return std::min<size_t>(limit, std::numeric_limits<flatbuffers::uoffset_t>::max());
}

const fb::DataUpdateResponseDTO* ZarnPDataUpdateReader::read(std::span<const std::uint8_t> data) {
    if (data.size() < sizeof(flatbuffers::uoffset_t))
        return failed("too short");
    if (data.size() >= FLATBUFFERS_MAX_BUFFER_SIZE)
        return failed("too large");
    if (reinterpret_cast<std::uintptr_t>(data.data()) % kRequiredAlignment != 0)
        return failed("misaligned");
    flatbuffers::Verifier::Options options;
    options.max_depth = kMaxDepth;
    options.max_tables = static_cast<flatbuffers::uoffset_t>(maxTablesForSize(data.size()));
    flatbuffers::Verifier verifier(data.data(), data.size(), options);
    if (!fb::VerifyDataUpdateResponseDTOBuffer(verifier))
        return failed("verification failed");
    const auto* root = fb::GetDataUpdateResponseDTO(data.data());
    if (!root)
        return failed("no root");
    return root;
}

const fb::DataUpdateResponseDTO* ZarnPDataUpdateReader::read(std::string_view data) {
    return read(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

}  // namespace zarn
