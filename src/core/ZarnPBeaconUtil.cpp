#include "core/ZarnPBeaconUtil.h"

namespace zarn {

int ZarnPBeaconUtil::proximityToDistance(platform::BeaconProximity proximity) {
    switch (proximity) {
        case platform::BeaconProximity::Immediate:
            return 1;
        case platform::BeaconProximity::Near:
            return 2;
        case platform::BeaconProximity::Far:
            return 30;
        default:
            return 100;
    }
}

std::string ZarnPBeaconUtil::uuidToSaveString(const Uuid& uuid) {
    return uuid.lowerCaseString();
}

std::optional<Uuid> ZarnPBeaconUtil::stringToUuid(std::string_view text) {
    if (text.size() != 32)
        return std::nullopt;
    std::string dashed;
    dashed.reserve(36);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20)
            dashed.push_back('-');
        char c = text[i];
        if (c == '-')
            return std::nullopt;  // only the inserted dashes are allowed
        dashed.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    return Uuid::fromString(dashed);
}

}  // namespace zarn
