#pragma once

namespace zarn::platform {

enum class LocationAuthorizationStatus : int {
    NotDetermined = 0,
    Restricted = 1,
    Denied = 2,
    AuthorizedAlways = 3,
    AuthorizedWhenInUse = 4,
};

enum class LocationAccuracyAuthorization : int { FullAccuracy = 0, ReducedAccuracy = 1 };

// The location facility's app-wide answers, without a location manager. Any thread; each answer
// is read fresh and never fails.
class LocationAuthorization {
  public:
    virtual ~LocationAuthorization() = default;
    LocationAuthorization() = default;
    LocationAuthorization(const LocationAuthorization&) = delete;
    LocationAuthorization& operator=(const LocationAuthorization&) = delete;

    // The device-wide location switch.
    virtual bool locationServicesEnabled() = 0;
    // What the user granted this app.
    virtual LocationAuthorizationStatus authorizationStatus() = 0;
    // Whether the app gets precise locations (systems of version 14 and later).
    virtual LocationAccuracyAuthorization accuracyAuthorization() = 0;
    virtual bool significantLocationChangeMonitoringAvailable() = 0;
    virtual bool regionMonitoringAvailable() = 0;
};

}  // namespace zarn::platform
