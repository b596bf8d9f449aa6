#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "core/Uuid.h"
#include "zarn/platform/BeaconProximity.h"

namespace zarn {

// Beacon proximity as a distance, and the text forms of beacon UUIDs. Stateless; any thread.
class ZarnPBeaconUtil {
  public:
    // Whole metres: immediate 1, near 2, far 30, anything else (unknown) 100.
    static int proximityToDistance(platform::BeaconProximity proximity);
    // The 36-character text with dashes in lower case: the form in which ranged beacon UUIDs
    // are compared and stored.
    static std::string uuidToSaveString(const Uuid& uuid);
    // 32 hexadecimal digits (either case, no dashes) to a UUID; any other text gives nullopt.
    static std::optional<Uuid> stringToUuid(std::string_view text);
};

}  // namespace zarn
