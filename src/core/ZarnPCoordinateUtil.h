#pragma once
#include <vector>

#include "zarn/platform/LocationFix.h"

namespace zarn {

// Great-circle distance by the spherical law of cosines (earth radius 6378100 m). Stateless;
// any thread.
class ZarnPCoordinateUtil {
  public:
    static constexpr double kEarthRadiusMeters = 6378100.0;

    // degrees x 0.017453292519943295
    static double degreeToRadian(double degrees);
    // Metres between two points given in radians. The cosine term is clamped to [-1, 1] before
    // the arc cosine, so nearly identical points are never NaN apart, and identical points are
    // exactly 0 apart. NaN inputs give NaN.
    static double distanceBetweenRadLat(double lat1, double lon1, double lat2, double lon2);
    // The same for points in degrees: the distance the matching uses.
    static double distanceBetweenLat(double lat1, double lon1, double lat2, double lon2);
    static double distanceBetweenCoordinate(const platform::LocationCoordinate2D& a,
                                            const platform::LocationCoordinate2D& b);
    // The summed distance along the coordinates; 0 for fewer than two.
    static double distanceBetweenCoordinates(const std::vector<platform::LocationCoordinate2D>& coordinates);
    // Metres over seconds as kilometres per hour (distance / interval x 3.6); 0 when the
    // interval is 0.
    static double speedForDistance(double distance, double interval);
};

}  // namespace zarn
