#pragma once

namespace zarn::platform {

enum class TrackingAuthorizationStatus : int {
    NotDetermined = 0,
    Restricted = 1,
    Denied = 2,
    Authorized = 3
};

// Whether the user lets the app track them across apps (systems of version 14 and later).
class TrackingAuthorization {
  public:
    virtual ~TrackingAuthorization() = default;
    TrackingAuthorization() = default;
    TrackingAuthorization(const TrackingAuthorization&) = delete;
    TrackingAuthorization& operator=(const TrackingAuthorization&) = delete;

    // Any thread; read fresh each time, never fails.
    virtual TrackingAuthorizationStatus trackingAuthorizationStatus() = 0;
};

}  // namespace zarn::platform
