#pragma once
#include <memory>

#include "device/system/ZarnPLocationManagerCreator.h"

namespace zarn {

namespace platform {
class LocationManagerFactory;
class LocationAuthorization;
}  // namespace platform

// The location managers of the platform's location facility, configured for one-shot requests.
// Any thread.
class ZarnPLocationManagerCreatorImpl final : public ZarnPLocationManagerCreator {
  public:
    static constexpr double kDesiredAccuracyMeters = 2000.0;

    // Both are required.
    ZarnPLocationManagerCreatorImpl(std::shared_ptr<platform::LocationManagerFactory> factory,
                                    std::shared_ptr<platform::LocationAuthorization> authorization);

    std::shared_ptr<platform::LocationManager> createDefaultLocationManager() override;
    bool isLocationServiceEnabled() override;
    platform::LocationAuthorizationStatus authorizationStatus() override;

  private:
    std::shared_ptr<platform::LocationManagerFactory> factory_;
    std::shared_ptr<platform::LocationAuthorization> authorization_;
};

}  // namespace zarn
