#include "core/ZarnPCoordinateUtil.h"

#include <algorithm>
#include <cmath>

namespace zarn {

double ZarnPCoordinateUtil::degreeToRadian(double degrees) {
    return degrees * 0.017453292519943295;
}

double ZarnPCoordinateUtil::distanceBetweenRadLat(double lat1, double lon1, double lat2, double lon2) {
    // The law of cosines loses precision for nearly identical points: rounding gives a cosine
    // just above 1 (NaN from acos, mended by the clamp) or just below it (centimetres near the
    // poles), so the same point is 0 exactly.
    if (lat1 == lat2 && lon1 == lon2)
        return 0.0;
    double cosine = std::sin(lat1) * std::sin(lat2) + std::cos(lat1) * std::cos(lat2) * std::cos(lon2 - lon1);
    if (std::isnan(cosine))
        return cosine;
    return kEarthRadiusMeters * std::acos(std::clamp(cosine, -1.0, 1.0));
}

double ZarnPCoordinateUtil::distanceBetweenLat(double lat1, double lon1, double lat2, double lon2) {
    return distanceBetweenRadLat(degreeToRadian(lat1), degreeToRadian(lon1), degreeToRadian(lat2),
                                 degreeToRadian(lon2));
}

double ZarnPCoordinateUtil::distanceBetweenCoordinate(const platform::LocationCoordinate2D& a,
                                                      const platform::LocationCoordinate2D& b) {
    return distanceBetweenLat(a.latitude, a.longitude, b.latitude, b.longitude);
}

double ZarnPCoordinateUtil::distanceBetweenCoordinates(
    const std::vector<platform::LocationCoordinate2D>& coordinates) {
    double total = 0;
    for (std::size_t i = 1; i < coordinates.size(); ++i)
        total += distanceBetweenCoordinate(coordinates[i - 1], coordinates[i]);
    return total;
}

double ZarnPCoordinateUtil::speedForDistance(double distance, double interval) {
    if (interval == 0)
        return 0;
    return distance / interval * 3.6;
}

}  // namespace zarn
