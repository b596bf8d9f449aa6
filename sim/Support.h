#pragma once
#include "zarn/platform/LocationFix.h"

// What the facilities need beyond the public headers. The simulated device is built as an app
// would build its own host, from include/zarn alone, so it keeps these few helpers here rather
// than reach into the library's sources.

namespace zarn::sim {

// Metres between two points in degrees, by the spherical law of cosines with an earth radius
// of 6378100 m: the formula the library's matching uses, so that the simulated world and the
// library agree on which side of a circle's edge a point lies. Identical points are 0 apart.
// Stateless; any thread.
double distanceMetres(const platform::LocationCoordinate2D& a, const platform::LocationCoordinate2D& b);

namespace detail {
[[noreturn]] void requireFailed(const char* expression, const char* file, int line);
}

}  // namespace zarn::sim

// A facility built without a collaborator it needs: a line on stderr, then abort, in every build
// type. A wiring fault of the host, never a condition the simulation recovers from.
#define ZARN_SIM_REQUIRE(expr)                                             \
    do {                                                                   \
        if (!(expr))                                                       \
            ::zarn::sim::detail::requireFailed(#expr, __FILE__, __LINE__); \
    } while (0)
