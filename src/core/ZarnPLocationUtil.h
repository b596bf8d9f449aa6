#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "zarn/Date.h"
#include "zarn/platform/LocationFix.h"

namespace zarn {

// Choosing the best of several platform fixes, and metre-to-degree conversions for bounding
// boxes. Stateless; any thread.
class ZarnPLocationUtil {
  public:
    // degrees / 180.0 x 3.141592653589793
    static double toRadians(double degrees);
    // metres / 111111.0
    static double meterToLatitudeDegrees(int meters);
    // metres / (cos(latitude in radians) x 111111.0)
    static double meterToLongitudeDegrees(int meters, double latitude);
    // The inverse conversions, cut off to a 64-bit integer (saturating; NaN gives 0).
    static std::int64_t latitudeDegreesToMeter(double degrees);
    static std::int64_t longitudeDegreesToMeter(double degrees, double latitude);

    // The best of `locations` and `best` (which may be absent): fixes with a negative
    // horizontal accuracy or an invalid coordinate are skipped ("Ignoring invalid location"),
    // fixes older than `maxAge` are skipped ("Ignoring location: ..."), DEBUG in domain
    // "LocationUtil"; among the rest the most accurate wins, the later one on equal accuracy.
    static std::optional<platform::LocationFix> getMostAccurateLocation(
        const std::vector<platform::LocationFix>& locations, std::optional<platform::LocationFix> best,
        Date maxAge);
};

}  // namespace zarn
