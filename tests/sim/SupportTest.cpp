// The simulated device's own helpers: its distance must agree with the library's matching to
// the last bit, or a point on a circle's edge is inside for one and outside for the other; a
// facility built without its collaborator stops at once, naming it.
#include "sim/Support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/ZarnPCoordinateUtil.h"
#include "sim/Clock.h"

namespace zarn::sim {
namespace {

using platform::LocationCoordinate2D;

TEST(SupportTest, DistanceIsTheMatchingsToTheLastBit) {
    struct Pair {
        LocationCoordinate2D a, b;
    };
    std::vector<Pair> pairs = {
        {{52.52, 13.405}, {52.52, 13.405}},                   // the same point
        {{52.52, 13.405}, {52.52, 13.405 + 1e-12}},           // rounding territory
        {{52.52, 13.405}, {52.5209, 13.405}},                 // about 100 m
        {{89.9999999, 0}, {89.9999999, 180}},                 // across a pole
        {{0, 179.9999}, {0, -179.9999}},                      // across the date line
        {{0, 0}, {0, 180}},                                   // antipodes
        {{-33.8688, 151.2093}, {51.5074, -0.1278}},           // half the world
        {{40.7128, -74.0060}, {40.7128 + 0.0045, -74.0060}},  // a region's edge
    };
    // And a spread of points over the whole sphere, drawn the same way every run.
    std::uint64_t state = 0x9e3779b97f4a7c15ull;
    auto next = [&](double low, double high) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return low + (high - low) * static_cast<double>(state >> 11) / static_cast<double>(1ull << 53);
    };
    for (int i = 0; i < 2000; ++i) {
        LocationCoordinate2D a{next(-90, 90), next(-180, 180)};
        // Half the pairs near each other, as a walk past a geofence is.
        LocationCoordinate2D b = i % 2 == 0 ? LocationCoordinate2D{next(-90, 90), next(-180, 180)}
                                            : LocationCoordinate2D{a.latitude + next(-0.01, 0.01),
                                                                   a.longitude + next(-0.01, 0.01)};
        pairs.push_back({a, b});
    }
    for (const auto& p : pairs)
        EXPECT_EQ(distanceMetres(p.a, p.b), ZarnPCoordinateUtil::distanceBetweenCoordinate(p.a, p.b))
            << p.a.latitude << "," << p.a.longitude << " to " << p.b.latitude << "," << p.b.longitude;
    EXPECT_EQ(distanceMetres({52.52, 13.405}, {52.52, 13.405}), 0.0);
}

TEST(SupportTest, AFacilityWithoutItsCollaboratorStopsNamingIt) {
    EXPECT_DEATH(Clock(nullptr), "required collaborator missing: time_ \\(.*sim/Clock.cpp:[0-9]+\\)");
}

}  // namespace
}  // namespace zarn::sim
