#include "device/system/ZarnPSystemUINotificationDao.h"

#include <algorithm>

#include "core/ZarnException.h"
#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPStringReading.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUserInfoKeys.h"
#include "device/system/ZarnPNotificationsEnabledCallback.h"
#include "zarn/platform/LocalNotificationCenter.h"
#include "zarn/platform/SystemInfo.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "UINotificationDao";
constexpr unsigned kOrdinaryOptions = platform::kNotificationAuthorizationAlert |
                                      platform::kNotificationAuthorizationSound |
                                      platform::kNotificationAuthorizationBadge;
}  // namespace

ZarnPSystemUINotificationDao::ZarnPSystemUINotificationDao(
    std::shared_ptr<ZarnPSystemTimerDao> timerDao, std::shared_ptr<platform::LocalNotificationCenter> center,
    std::shared_ptr<platform::DeviceInfo> deviceInfo)
    : timerDao_(timerDao), center_(std::move(center)), deviceInfo_(std::move(deviceInfo)) {
    ZARN_REQUIRE(timerDao);
}

bool ZarnPSystemUINotificationDao::systemAtLeast12() const {
    return !deviceInfo_ || ZarnPStringReading::intValue(deviceInfo_->systemVersion()) >= 12;
}

void ZarnPSystemUINotificationDao::send(const NotificationRequest& request) {
    LogDebug(kDomain, "Scheduling: %@",
             request.trigger ? request.trigger->description() : std::string("(null)"));
    if (!center_) {
        LogNsError(kDomain, Error{"Zarn", -1, "No notification centre"}, "Failed to show notification");
        return;
    }
    center_->addNotificationRequest(request, [](std::optional<Error> error) {
        if (error)
            LogNsError(kDomain, *error, "Failed to show notification");
    });
}

void ZarnPSystemUINotificationDao::cancelMatching(std::function<bool(const Value& userInfo)> matches) {
    if (!center_)
        return;
    std::weak_ptr<platform::LocalNotificationCenter> weakCenter = center_;
    center_->getPendingNotificationRequests(
        [weakCenter, matches = std::move(matches)](std::vector<NotificationRequest> pending) {
            std::vector<std::string> identifiers;
            for (const auto& request : pending) {
                const Value& userInfo = request.content.userInfo;
                auto identifier = ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kIdentifier);
                if (!identifier || !matches(userInfo))
                    continue;
                LogDebug(kDomain, "Cancelling local notification: %@", *identifier);
                identifiers.push_back(request.identifier);
            }
            auto center = weakCenter.lock();
            if (center && !identifiers.empty())
                center->removePendingNotificationRequests(identifiers);
        });
}

void ZarnPSystemUINotificationDao::cancelNotifications(const std::vector<std::string>& identifiers) {
    // A notification of an experiment is pending under its full id as well as its short one.
    cancelMatching([identifiers](const Value& userInfo) {
        auto contains = [&](const std::optional<std::string>& id) {
            return id && std::find(identifiers.begin(), identifiers.end(), *id) != identifiers.end();
        };
        return contains(ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kIdentifier)) ||
               contains(ZarnPDictionaryHelper::stringEntry(userInfo, userinfo::kIdentifierWithExperiment));
    });
}

void ZarnPSystemUINotificationDao::cancelAllNotifications() {
    cancelMatching([](const Value&) { return true; });
}

void ZarnPSystemUINotificationDao::scheduledNotificationRequests(
    std::function<void(std::vector<NotificationRequest>)> block) {
    if (!block)
        return;
    if (!center_) {
        block({});
        return;
    }
    center_->getPendingNotificationRequests(std::move(block));
}

void ZarnPSystemUINotificationDao::registerForNotifications() {
    auto timerDao = timerDao_.lock();
    bool automatic = automaticallyAsk_;
    bool provisional = provisional_;
    if (!timerDao || !center_ || (!automatic && !provisional))
        return;
    auto center = center_;
    bool laterSystem = systemAtLeast12();
    timerDao->invokeBlockOnMainThread(
        [center, automatic, provisional, laterSystem] {
            unsigned options = kOrdinaryOptions;
            if (laterSystem && automatic && provisional)
                options |= platform::kNotificationAuthorizationProvisional;
            else if (laterSystem && provisional)
                LogWarn(kDomain,
                        "Using fallback notification permission dialog, the usage of "
                        "provisionalNotificationPermission requires the "
                        "automaticallyAskNotificationPermisson to be "
                        "true as well");
            center->requestAuthorization(options, [](bool granted, std::optional<Error> error) {
                if (!granted)
                    LogDebug(kDomain, "Authorization denied with error: %@",
                             error ? std::optional<std::string>(error->message) : std::nullopt);
            });
        },
        false);
}

void ZarnPSystemUINotificationDao::isRegisteredForNotifications(
    std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)> block) {
    auto timerDao = timerDao_.lock();
    if (!timerDao || !block)
        return;
    auto center = center_;
    std::weak_ptr<ZarnPSystemTimerDao> weakTimer = timerDao;
    timerDao->invokeBlockOnMainThread(
        [center, weakTimer, block = std::move(block)]() mutable {
            auto answer = [weakTimer, block](std::shared_ptr<ZarnPNotificationsEnabledCallback> values) {
                if (auto timer = weakTimer.lock())
                    timer->invokeBlockOnRunLoop([block, values] { block(values); }, false);
            };
            if (!center) {
                answer(std::make_shared<ZarnPNotificationsEnabledCallback>(
                    true, static_cast<int>(platform::NotificationAuthorizationStatus::Authorized)));
                return;
            }
            center->getNotificationSettings([answer](platform::NotificationAuthorizationStatus status) {
                bool enabled = status == platform::NotificationAuthorizationStatus::Authorized;
                if (!enabled)
                    LogDebug(kDomain, "Notifications are not authorized");
                answer(
                    std::make_shared<ZarnPNotificationsEnabledCallback>(enabled, static_cast<int>(status)));
            });
        },
        false);
}

}  // namespace zarn
