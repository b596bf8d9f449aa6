#pragma once
// The simulated device: one deterministic world and the facilities built over it, each
// implementing its part of the platform seam. Tests and the example host drive the facilities
// through the accessors and read back what the library asked of them.
#include <memory>

#include "sim/LocationWorld.h"
#include "sim/SimAlertPresenter.h"
#include "sim/SimApplication.h"
#include "sim/SimBackgroundTasks.h"
#include "sim/SimBattery.h"
#include "sim/SimBundle.h"
#include "sim/SimDeviceHardware.h"
#include "sim/SimDeviceInfo.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/SimLocationAuthorization.h"
#include "sim/SimMailComposer.h"
#include "sim/SimNotificationAuthorization.h"
#include "sim/SimPushService.h"
#include "sim/SimReachability.h"
#include "sim/SimRuntimeClasses.h"
#include "sim/SimTrackingAuthorization.h"
#include "sim/SimUrlOpener.h"
#include "sim/SimWindowSystem.h"
#include "sim/World.h"

namespace zarn::platform {
struct Services;
}

namespace zarn::sim {

// Composes one facility per platform interface over one world. The accessors are named after
// the fields of platform::Services that provide() fills; a facility joins as World.h describes.
// Every accessor and every facility is safe from any thread.
class Device final {
  public:
    // `time` is the time source the host installs (virtual in tests).
    explicit Device(std::shared_ptr<platform::TimeSource> time);
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const std::shared_ptr<World>& world() const { return world_; }

    const std::shared_ptr<SimDeviceInfo>& deviceInfo() const { return deviceInfo_; }
    const std::shared_ptr<SimBundle>& mainBundle() const { return mainBundle_; }
    const std::shared_ptr<SimBundle>& libraryBundle() const { return libraryBundle_; }
    const std::shared_ptr<SimAlertPresenter>& alertPresenter() const { return alertPresenter_; }
    const std::shared_ptr<SimApplication>& application() const { return application_; }
    const std::shared_ptr<SimBackgroundTasks>& backgroundTasks() const { return backgroundTasks_; }
    const std::shared_ptr<SimDeviceHardware>& deviceHardware() const { return deviceHardware_; }
    const std::shared_ptr<SimBattery>& battery() const { return battery_; }
    const std::shared_ptr<SimReachability>& reachability() const { return reachability_; }
    const std::shared_ptr<SimLocationAuthorization>& locationAuthorization() const {
        return locationAuthorization_;
    }
    const std::shared_ptr<SimNotificationAuthorization>& notificationAuthorization() const {
        return notificationAuthorization_;
    }
    const std::shared_ptr<SimLocalNotificationCenter>& localNotificationCenter() const {
        return localNotificationCenter_;
    }
    const std::shared_ptr<SimTrackingAuthorization>& trackingAuthorization() const {
        return trackingAuthorization_;
    }
    const std::shared_ptr<SimRuntimeClasses>& runtimeClasses() const { return runtimeClasses_; }
    // The location world: true position, fixes, significant changes, regions and beacons.
    const std::shared_ptr<LocationWorld>& location() const { return location_; }
    const std::shared_ptr<SimWindowSystem>& windowSystem() const { return windowSystem_; }
    const std::shared_ptr<SimUrlOpener>& urlOpener() const { return urlOpener_; }
    const std::shared_ptr<SimMailComposing>& mailComposing() const { return mailComposing_; }
    const std::shared_ptr<SimPushService>& pushService() const { return pushService_; }

    // Fills the device-only services of `services` with these facilities. The crash reporter is
    // left as it is (a host links one or not).
    void provide(platform::Services& services) const;

  private:
    const std::shared_ptr<World> world_;
    const std::shared_ptr<SimDeviceInfo> deviceInfo_;
    const std::shared_ptr<SimBundle> mainBundle_;
    const std::shared_ptr<SimBundle> libraryBundle_;
    const std::shared_ptr<SimAlertPresenter> alertPresenter_;
    const std::shared_ptr<SimApplication> application_;
    const std::shared_ptr<SimBackgroundTasks> backgroundTasks_;
    const std::shared_ptr<SimDeviceHardware> deviceHardware_;
    const std::shared_ptr<SimBattery> battery_;
    const std::shared_ptr<SimReachability> reachability_;
    const std::shared_ptr<SimLocationAuthorization> locationAuthorization_;
    const std::shared_ptr<SimNotificationAuthorization> notificationAuthorization_;
    const std::shared_ptr<SimLocalNotificationCenter> localNotificationCenter_;
    const std::shared_ptr<SimTrackingAuthorization> trackingAuthorization_;
    const std::shared_ptr<SimRuntimeClasses> runtimeClasses_;
    const std::shared_ptr<LocationWorld> location_;
    const std::shared_ptr<SimWindowSystem> windowSystem_;
    const std::shared_ptr<SimUrlOpener> urlOpener_;
    const std::shared_ptr<SimMailComposing> mailComposing_;
    const std::shared_ptr<SimPushService> pushService_;
};

}  // namespace zarn::sim
