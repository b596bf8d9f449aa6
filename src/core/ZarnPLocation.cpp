#include "core/ZarnPLocation.h"

#include <cmath>
#include <functional>
#include <limits>

#include "core/Format.h"
#include "core/ZarnPCoordinateUtil.h"

namespace zarn {

namespace {
std::size_t hashDouble(double d) {
    if (d == 0)
        d = 0;  // +0 and -0 are equal, so they must hash alike
    return std::hash<double>{}(d);
}
}  // namespace

std::shared_ptr<ZarnPLocation> ZarnPLocation::locationLat(double latitude, double longitude) {
    return std::make_shared<ZarnPLocation>(latitude, longitude);
}

double ZarnPLocation::distanceToLocation(const ZarnPLocation* other) const {
    if (!other)
        return std::numeric_limits<double>::quiet_NaN();
    return ZarnPCoordinateUtil::distanceBetweenLat(latitude_, longitude_, other->latitude_,
                                                   other->longitude_);
}

bool ZarnPLocation::isEqual(const ZarnPLocation& other) const {
    return latitude_ == other.latitude_ && longitude_ == other.longitude_;
}

std::size_t ZarnPLocation::hash() const {
    return hashDouble(latitude_) * 31 + hashDouble(longitude_);
}

std::string ZarnPLocation::description() const {
    return format("[latitude: %f, longitude: %f]", latitude_, longitude_);
}

}  // namespace zarn
