#include "sim/Support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zarn::sim {

namespace {
constexpr double kEarthRadiusMetres = 6378100.0;
constexpr double kRadiansPerDegree = 0.017453292519943295;
}  // namespace

double distanceMetres(const platform::LocationCoordinate2D& a, const platform::LocationCoordinate2D& b) {
    double lat1 = a.latitude * kRadiansPerDegree;
    double lon1 = a.longitude * kRadiansPerDegree;
    double lat2 = b.latitude * kRadiansPerDegree;
    double lon2 = b.longitude * kRadiansPerDegree;
    // Rounding puts the cosine of nearly identical points just past 1 (NaN from acos without the
    // clamp) or just below it (centimetres apart), so the same point is answered exactly.
    if (lat1 == lat2 && lon1 == lon2)
        return 0.0;
    double cosine = std::sin(lat1) * std::sin(lat2) + std::cos(lat1) * std::cos(lat2) * std::cos(lon2 - lon1);
    return kEarthRadiusMetres * std::acos(std::clamp(cosine, -1.0, 1.0));
}

namespace detail {
void requireFailed(const char* expression, const char* file, int line) {
    std::fprintf(stderr, "Simulated device: required collaborator missing: %s (%s:%d)\n", expression, file,
                 line);
    std::abort();
}
}  // namespace detail

}  // namespace zarn::sim
