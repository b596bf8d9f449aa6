#pragma once

namespace zarn::platform {

// How close a ranged beacon is, as the platform reports it. Values outside the list are
// possible from a platform and count as unknown wherever the library reads them.
enum class BeaconProximity : int {
    Unknown = 0,
    Immediate = 1,
    Near = 2,
    Far = 3,
};

}  // namespace zarn::platform
