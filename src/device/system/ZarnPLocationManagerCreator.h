#pragma once
#include <memory>

#include "zarn/platform/LocationAuthorization.h"

namespace zarn {

namespace platform {
class LocationManager;
}

// Creates the platform's location managers for the one-shot location requests and answers
// whether location services may be used.
class ZarnPLocationManagerCreator {
  public:
    virtual ~ZarnPLocationManagerCreator() = default;
    // A new manager with distance filter 0, desired accuracy 2000 m and no automatic pausing.
    // Its callbacks arrive on the calling thread's run loop.
    virtual std::shared_ptr<platform::LocationManager> createDefaultLocationManager() = 0;
    // NO when the device-wide switch is off or the app is restricted or denied; not determined
    // counts as enabled.
    virtual bool isLocationServiceEnabled() = 0;
    virtual platform::LocationAuthorizationStatus authorizationStatus() = 0;
};

}  // namespace zarn
