#include "core/ZarnPLocationUtil.h"

#include <cmath>
#include <limits>

#include "core/ZarnPLogger.h"

namespace zarn {

namespace {

constexpr double kMetersPerDegree = 111111.0;

std::int64_t truncateToInt64(double d) {
    if (std::isnan(d))
        return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<std::int64_t>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<std::int64_t>::max());
    if (d <= lo)
        return std::numeric_limits<std::int64_t>::min();
    if (d >= hi)
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(d);
}

}  // namespace

double ZarnPLocationUtil::toRadians(double degrees) {
    return degrees / 180.0 * 3.141592653589793;
}

double ZarnPLocationUtil::meterToLatitudeDegrees(int meters) {
    return meters / kMetersPerDegree;
}

double ZarnPLocationUtil::meterToLongitudeDegrees(int meters, double latitude) {
    return meters / (std::cos(toRadians(latitude)) * kMetersPerDegree);
}

std::int64_t ZarnPLocationUtil::latitudeDegreesToMeter(double degrees) {
    return truncateToInt64(degrees * kMetersPerDegree);
}

std::int64_t ZarnPLocationUtil::longitudeDegreesToMeter(double degrees, double latitude) {
    return truncateToInt64(degrees * std::cos(toRadians(latitude)) * kMetersPerDegree);
}

std::optional<platform::LocationFix> ZarnPLocationUtil::getMostAccurateLocation(
    const std::vector<platform::LocationFix>& locations, std::optional<platform::LocationFix> best,
    Date maxAge) {
    for (const auto& fix : locations) {
        if (fix.horizontalAccuracy < 0 || !fix.coordinateValid()) {
            LogDebug("LocationUtil", "Ignoring invalid location");
            continue;
        }
        if (fix.timestamp < maxAge) {
            LogDebug("LocationUtil", "Ignoring location: %f,%f (%f meters) - %@", fix.latitude, fix.longitude,
                     fix.horizontalAccuracy, fix.timestamp);
            continue;
        }
        if (!best || best->horizontalAccuracy >= fix.horizontalAccuracy)
            best = fix;
    }
    return best;
}

}  // namespace zarn
