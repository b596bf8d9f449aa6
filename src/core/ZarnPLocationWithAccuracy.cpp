#include "core/ZarnPLocationWithAccuracy.h"

namespace zarn {

std::shared_ptr<ZarnPLocationWithAccuracy> ZarnPLocationWithAccuracy::locationLat(double latitude,
                                                                                  double longitude,
                                                                                  double accuracy) {
    return std::make_shared<ZarnPLocationWithAccuracy>(latitude, longitude, accuracy);
}

bool ZarnPLocationWithAccuracy::isEqual(const ZarnPLocation& other) const {
    auto* o = dynamic_cast<const ZarnPLocationWithAccuracy*>(&other);
    return o && ZarnPLocation::isEqual(other) && accuracy_ == o->accuracy_;
}

}  // namespace zarn
