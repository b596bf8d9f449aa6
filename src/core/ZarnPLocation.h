#pragma once
#include <cstddef>
#include <memory>
#include <string>

namespace zarn {

// A position in degrees. Mutable; used on one thread at a time.
class ZarnPLocation {
  public:
    ZarnPLocation() = default;
    ZarnPLocation(double latitude, double longitude) : latitude_(latitude), longitude_(longitude) {}
    virtual ~ZarnPLocation() = default;
    ZarnPLocation(const ZarnPLocation&) = default;
    ZarnPLocation& operator=(const ZarnPLocation&) = default;

    static std::shared_ptr<ZarnPLocation> locationLat(double latitude, double longitude);

    double latitude() const { return latitude_; }
    void setLatitude(double v) { latitude_ = v; }
    double longitude() const { return longitude_; }
    void setLongitude(double v) { longitude_ = v; }

    // Metres by ZarnPCoordinateUtil::distanceBetweenLat; NaN when `other` is null.
    double distanceToLocation(const ZarnPLocation* other) const;
    double distanceToLocation(const std::shared_ptr<const ZarnPLocation>& other) const {
        return distanceToLocation(other.get());
    }
    double distanceToLocation(const ZarnPLocation& other) const { return distanceToLocation(&other); }

    // True only for a ZarnPLocation (or subclass) with exactly equal latitude and longitude.
    // A subclass may be stricter, so equality is not symmetric across classes (as specified).
    virtual bool isEqual(const ZarnPLocation& other) const;
    // Consistent with isEqual of this class and its subclasses: latitude and longitude only.
    std::size_t hash() const;

    // "[latitude: %f, longitude: %f]"
    std::string description() const;

  private:
    double latitude_ = 0;
    double longitude_ = 0;
};

}  // namespace zarn
