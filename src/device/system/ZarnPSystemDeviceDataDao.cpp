#include "device/system/ZarnPSystemDeviceDataDao.h"

#include "core/ZarnPLogger.h"
#include "core/ZarnPStringReading.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/system/ZarnPNotificationsEnabledCallback.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "zarn/Value.h"
#include "zarn/platform/Application.h"
#include "zarn/platform/BackgroundTasks.h"
#include "zarn/platform/DeviceHardware.h"
#include "zarn/platform/LocationAuthorization.h"
#include "zarn/platform/NotificationAuthorization.h"
#include "zarn/platform/RuntimeClasses.h"
#include "zarn/platform/SystemInfo.h"
#include "zarn/platform/TrackingAuthorization.h"

namespace zarn {

ZarnPSystemDeviceDataDao::ZarnPSystemDeviceDataDao(std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                                                   std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                                                   platform::Services services)
    : keyValueDao_(std::move(keyValueDao)), timerDao_(timerDao), services_(std::move(services)) {}

bool ZarnPSystemDeviceDataDao::systemAtLeast(int major) {
    auto version = platformVersion();
    return version && ZarnPStringReading::intValue(*version) >= major;
}

std::optional<std::string> ZarnPSystemDeviceDataDao::bundleString(const char* key) {
    if (!services_.mainBundle)
        return std::nullopt;
    auto value = services_.mainBundle->infoValue(key);
    if (!value || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

std::optional<std::string> ZarnPSystemDeviceDataDao::xamarinVersion() {
    if (!keyValueDao_)
        return std::nullopt;
    return keyValueDao_->getPropertyValueForKey(setting::kXamarinVersion);
}

std::optional<std::string> ZarnPSystemDeviceDataDao::hardwareModel() {
    if (!services_.deviceHardware)
        return std::nullopt;
    return services_.deviceHardware->machine();
}

std::optional<std::string> ZarnPSystemDeviceDataDao::platformVersion() {
    if (!services_.deviceInfo)
        return std::nullopt;
    return services_.deviceInfo->systemVersion();
}

std::string ZarnPSystemDeviceDataDao::framework() {
    std::string framework = "native";
    if (auto classes = services_.runtimeClasses) {
        if (classes->classExists("CDVPlugin"))
            framework = "cordova";
        if (classes->classExists("TiApp"))
            framework = "appcelerator";
    }
    if (xamarinVersion())
        framework = "xamarin";
    return framework;
}

std::optional<std::string> ZarnPSystemDeviceDataDao::frameworkVersion() {
    std::optional<std::string> version;
    if (auto classes = services_.runtimeClasses)
        if (classes->classExists("CDVPlugin") || classes->classExists("TiApp"))
            version = "unknown";
    if (auto xamarin = xamarinVersion())
        version = xamarin;
    return version;
}

std::optional<std::string> ZarnPSystemDeviceDataDao::appName() {
    return bundleString("CFBundleDisplayName");
}

std::optional<std::string> ZarnPSystemDeviceDataDao::appVersion() {
    return bundleString("CFBundleVersion");
}

bool ZarnPSystemDeviceDataDao::locationServicesEnabled() {
    auto location = services_.locationAuthorization;
    if (!location || !location->locationServicesEnabled())
        return false;
    auto status = location->authorizationStatus();
    return status != platform::LocationAuthorizationStatus::Restricted &&
           status != platform::LocationAuthorizationStatus::Denied;
}

bool ZarnPSystemDeviceDataDao::accurateLocationEnabled() {
    if (!systemAtLeast(14))
        return true;
    auto location = services_.locationAuthorization;
    return location &&
           location->accuracyAuthorization() == platform::LocationAccuracyAuthorization::FullAccuracy;
}

void ZarnPSystemDeviceDataDao::backgroundExecutionEnabled(std::function<void(bool)> block) {
    auto timerDao = timerDao_.lock();
    if (!timerDao || !block)
        return;
    auto tasks = services_.backgroundTasks;
    std::weak_ptr<ZarnPSystemTimerDao> weakTimer = timerDao;
    timerDao->invokeBlockOnMainThread(
        [tasks, weakTimer, block = std::move(block)]() mutable {
            // A system without the setting lets the app run in the background.
            auto status = tasks ? tasks->backgroundRefreshStatus() : std::nullopt;
            bool enabled = !status || *status == platform::BackgroundRefreshStatus::Available;
            if (auto timer = weakTimer.lock())
                timer->invokeBlockOnRunLoop([block, enabled] { block(enabled); }, false);
        },
        false);
}

void ZarnPSystemDeviceDataDao::notificationServicesEnabled(
    std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)> block) {
    auto timerDao = timerDao_.lock();
    if (!timerDao || !block)
        return;
    auto authorization = services_.notificationAuthorization;
    std::weak_ptr<ZarnPSystemTimerDao> weakTimer = timerDao;
    timerDao->invokeBlockOnMainThread(
        [authorization, weakTimer, block = std::move(block)]() mutable {
            auto answer = [weakTimer, block](platform::NotificationAuthorizationStatus status) {
                auto values = std::make_shared<ZarnPNotificationsEnabledCallback>(
                    status == platform::NotificationAuthorizationStatus::Authorized,
                    static_cast<int>(status));
                if (auto timer = weakTimer.lock())
                    timer->invokeBlockOnRunLoop([block, values] { block(values); }, false);
            };
            if (!authorization) {
                answer(platform::NotificationAuthorizationStatus::NotDetermined);
                return;
            }
            authorization->getNotificationSettings(std::move(answer));
        },
        false);
}

void ZarnPSystemDeviceDataDao::appInForeground(std::function<void(bool)> block) {
    auto timerDao = timerDao_.lock();
    if (!timerDao || !block)
        return;
    auto application = services_.application;
    std::weak_ptr<ZarnPSystemTimerDao> weakTimer = timerDao;
    timerDao->invokeBlockOnMainThread(
        [application, weakTimer, block = std::move(block)]() mutable {
            bool foreground =
                application && application->applicationState() == platform::ApplicationState::Active;
            if (auto timer = weakTimer.lock())
                timer->invokeBlockOnRunLoop([block, foreground] { block(foreground); }, false);
        },
        false);
}

bool ZarnPSystemDeviceDataDao::hasSignificantLocationChanges() {
    auto location = services_.locationAuthorization;
    return location && location->significantLocationChangeMonitoringAvailable();
}

bool ZarnPSystemDeviceDataDao::hasGeofences() {
    auto location = services_.locationAuthorization;
    return location && location->regionMonitoringAvailable();
}

bool ZarnPSystemDeviceDataDao::idfaOptedIn() {
    if (!systemAtLeast(14))
        return true;
    auto tracking = services_.trackingAuthorization;
    return tracking &&
           tracking->trackingAuthorizationStatus() == platform::TrackingAuthorizationStatus::Authorized;
}

void ZarnPSystemDeviceDataDao::returnCallback(std::function<void(bool)> block, bool value) {
    auto timerDao = timerDao_.lock();
    if (!timerDao || !block)
        return;
    timerDao->invokeBlockOnRunLoop([block = std::move(block), value] { block(value); }, false);
}

void ZarnPSystemDeviceDataDao::returnCallback(
    std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)> block,
    std::shared_ptr<ZarnPNotificationsEnabledCallback> values) {
    auto timerDao = timerDao_.lock();
    if (!timerDao || !block)
        return;
    timerDao->invokeBlockOnRunLoop([block = std::move(block), values = std::move(values)] { block(values); },
                                   false);
}

}  // namespace zarn
