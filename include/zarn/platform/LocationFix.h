#pragma once
#include <cmath>
#include <string>

#include "zarn/Date.h"

namespace zarn::platform {

// A position in degrees (the platform's coordinate pair).
struct LocationCoordinate2D {
    double latitude = 0;
    double longitude = 0;

    // The platform's rule: latitude within [-90, 90] and longitude within [-180, 180], both
    // finite.
    bool isValid() const {
        return std::isfinite(latitude) && std::isfinite(longitude) && latitude >= -90.0 && latitude <= 90.0 &&
               longitude >= -180.0 && longitude <= 180.0;
    }
    bool operator==(const LocationCoordinate2D&) const = default;
};

// The coordinate that the platform reports for "no position".
inline constexpr LocationCoordinate2D kLocationCoordinate2DInvalid{-180.0, -180.0};

// One fix of the platform's location services: where, how accurate, when. A plain value that
// the location services hand over (copied freely between threads). Negative accuracies mean
// "not known", as on the platform: a negative horizontal accuracy makes the fix unusable.
struct LocationFix {
    double latitude = kLocationCoordinate2DInvalid.latitude;
    double longitude = kLocationCoordinate2DInvalid.longitude;
    double horizontalAccuracy = -1;  // metres, radius of uncertainty
    double verticalAccuracy = -1;    // metres
    double speed = -1;               // metres per second
    double course = -1;              // degrees from true north
    double altitude = 0;             // metres
    // When the fix was taken, on the clock of the installed TimeSource (Platform.h), whose now()
    // it is compared with: the system clock under the default source. The library uses a fix
    // only while it is at most 30 s older than now(); a later time also counts as fresh, and
    // the default, 1970, never does.
    Date timestamp{};

    LocationCoordinate2D coordinate() const { return {latitude, longitude}; }
    // Whether the platform reports the coordinate as valid (see LocationCoordinate2D).
    bool coordinateValid() const { return coordinate().isValid(); }

    bool operator==(const LocationFix&) const = default;
};

}  // namespace zarn::platform
