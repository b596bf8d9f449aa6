#pragma once
#include <array>
#include <cstdint>

namespace zarn::platform {

// How close a ranged beacon is, as the platform reports it. Values outside the list are
// possible from a platform and count as unknown wherever the library reads them.
enum class BeaconProximity : int {
    Unknown = 0,
    Immediate = 1,
    Near = 2,
    Far = 3,
};

// The 16 bytes of a beacon's proximity UUID, in network order.
using ProximityUuid = std::array<std::uint8_t, 16>;

// One sighting of a beacon in a ranging pass. A plain value, copied freely between threads.
struct Beacon {
    ProximityUuid proximityUuid{};
    int major = 0;
    int minor = 0;
    BeaconProximity proximity = BeaconProximity::Unknown;
    double accuracy = -1;  // metres; negative when not known
    int rssi = 0;          // dBm; 0 when not known

    bool operator==(const Beacon&) const = default;
};

}  // namespace zarn::platform
