#include "sim/Device.h"
#include "zarn/Value.h"

#include "zarn/platform/Platform.h"

namespace zarn::sim {

Device::Device(std::shared_ptr<platform::TimeSource> time)
    : world_(std::make_shared<World>(time)),
      deviceInfo_(std::make_shared<SimDeviceInfo>()),
      mainBundle_(std::make_shared<SimBundle>()),
      libraryBundle_(std::make_shared<SimBundle>()),
      alertPresenter_(std::make_shared<SimAlertPresenter>()),
      application_(std::make_shared<SimApplication>(world_)),
      backgroundTasks_(std::make_shared<SimBackgroundTasks>(world_)),
      deviceHardware_(std::make_shared<SimDeviceHardware>()),
      battery_(std::make_shared<SimBattery>()),
      reachability_(std::make_shared<SimReachability>()),
      locationAuthorization_(std::make_shared<SimLocationAuthorization>()),
      notificationAuthorization_(std::make_shared<SimNotificationAuthorization>(world_)),
      localNotificationCenter_(
          std::make_shared<SimLocalNotificationCenter>(world_, notificationAuthorization_)),
      trackingAuthorization_(std::make_shared<SimTrackingAuthorization>()),
      runtimeClasses_(std::make_shared<SimRuntimeClasses>()),
      location_(LocationWorld::create(std::move(time))),
      windowSystem_(std::make_shared<SimWindowSystem>()),
      urlOpener_(std::make_shared<SimUrlOpener>()),
      mailComposing_(std::make_shared<SimMailComposing>()),
      pushService_(std::make_shared<SimPushService>()) {
    windowSystem_->addScene(platform::SceneActivationState::ForegroundActive);
    mainBundle_->setInfoValue("CFBundleDisplayName", Value("Sample App"));
    mainBundle_->setInfoValue("CFBundleVersion", Value("1.0"));
    mainBundle_->setInfoValue("NSLocationAlwaysUsageDescription", Value("Shows offers near you."));
}

void Device::provide(platform::Services& services) const {
    services.deviceInfo = deviceInfo_;
    services.mainBundle = mainBundle_;
    services.libraryBundle = libraryBundle_;
    services.alertPresenter = alertPresenter_;
    services.application = application_;
    services.backgroundTasks = backgroundTasks_;
    services.deviceHardware = deviceHardware_;
    services.battery = battery_;
    services.reachability = reachability_;
    services.locationAuthorization = locationAuthorization_;
    services.notificationAuthorization = notificationAuthorization_;
    services.localNotificationCenter = localNotificationCenter_;
    services.trackingAuthorization = trackingAuthorization_;
    services.runtimeClasses = runtimeClasses_;
    location_->provide(services);
    services.windowSystem = windowSystem_;
    services.urlOpener = urlOpener_;
    services.mailComposing = mailComposing_;
    services.pushMessaging = pushService_;
}

}  // namespace zarn::sim
