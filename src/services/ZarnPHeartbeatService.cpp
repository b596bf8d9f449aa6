#include "services/ZarnPHeartbeatService.h"

#include <cmath>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPStringReading.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/system/ZarnPDeviceDataDao.h"
#include "device/system/ZarnPLocationManagerCreator.h"
#include "device/system/ZarnPNotificationsEnabledCallback.h"
#include "services/ZarnPEventLogging.h"
#include "store/ZarnPCommitGroup.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "zarn/Value.h"
#include "zarn/platform/RunLoop.h"

namespace zarn {

namespace {
constexpr double kSecondsPerDay = 86400.0;
constexpr double kFirstHeartbeatDelay = 1.0;
constexpr int kProvisionalStatus = 3;

const char* locationOptIn(platform::LocationAuthorizationStatus status) {
    switch (status) {
        case platform::LocationAuthorizationStatus::AuthorizedWhenInUse:
            return "whenInUse";
        case platform::LocationAuthorizationStatus::AuthorizedAlways:
            return "always";
        case platform::LocationAuthorizationStatus::Denied:
            return "no";
        default:
            return "undefined";
    }
}
}  // namespace

ZarnPHeartbeatService::ZarnPHeartbeatService(
    std::shared_ptr<ZarnPEventLogging> eventService, std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
    std::shared_ptr<ZarnPSystemTimerDao> timerDao, std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao,
    std::shared_ptr<ZarnPClockDao> clockDao,
    std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator, std::shared_ptr<ZarnPSqLiteDb> db)
    : eventService_(std::move(eventService)),
      keyValueDao_(std::move(keyValueDao)),
      timerDao_(std::move(timerDao)),
      deviceDataDao_(std::move(deviceDataDao)),
      clockDao_(std::move(clockDao)),
      locationManagerCreator_(std::move(locationManagerCreator)),
      db_(std::move(db)) {
    ZARN_REQUIRE(eventService_);
    ZARN_REQUIRE(keyValueDao_);
    ZARN_REQUIRE(timerDao_);
    ZARN_REQUIRE(deviceDataDao_);
    ZARN_REQUIRE(clockDao_);
    ZARN_REQUIRE(locationManagerCreator_);
}

ZarnPHeartbeatService::~ZarnPHeartbeatService() {
    if (timer_)
        timer_->invalidate();
}

Date ZarnPHeartbeatService::dateWithoutHour(Date date) {
    double seconds = timeIntervalSince1970(date);
    return dateWithTimeIntervalSince1970(std::floor(seconds / kSecondsPerDay) * kSecondsPerDay);
}

double ZarnPHeartbeatService::calculateHeartbeatInterval() {
    Date now = clockDao_->now();
    return timeIntervalSince1970(dateWithoutHour(now)) + kSecondsPerDay - timeIntervalSince1970(now);
}

double ZarnPHeartbeatService::getHeartbeatTimeInterval() {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto last = keyValueDao_->getDatePropertyValueForKey(setting::kLastHeartbeatDate);
    if (!last || dateWithoutHour(*last) != dateWithoutHour(clockDao_->now()))
        return kFirstHeartbeatDelay;
    return calculateHeartbeatInterval();
}

void ZarnPHeartbeatService::startTimer() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (timer_)
        timer_->invalidate();
    std::weak_ptr<ZarnPHeartbeatService> weak = weak_from_this();
    timer_ = timerDao_->scheduledTimerWithTimeInterval(
        getHeartbeatTimeInterval(), "ZarnPHeartbeatService",
        [weak] {
            if (auto self = weak.lock())
                self->sendHeartbeatEvent();
        },
        false);
}

bool ZarnPHeartbeatService::hasTimer() const {
    return timer_ && timer_->isValid();
}

void ZarnPHeartbeatService::sendHeartbeatEvent() {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::weak_ptr<ZarnPHeartbeatService> weak = weak_from_this();
    deviceDataDao_->backgroundExecutionEnabled([weak](bool background) {
        auto self = weak.lock();
        if (!self)
            return;
        self->deviceDataDao_->notificationServicesEnabled(
            [weak, background](std::shared_ptr<ZarnPNotificationsEnabledCallback> notifications) {
                if (auto self = weak.lock())
                    self->registerHeartbeatEvent(background, notifications);
            });
    });
}

bool ZarnPHeartbeatService::systemAtLeast(int major) {
    auto version = deviceDataDao_->platformVersion();
    return version && ZarnPStringReading::intValue(*version) >= major;
}

void ZarnPHeartbeatService::registerHeartbeatEvent(
    bool backgroundExecutionEnabled,
    const std::shared_ptr<ZarnPNotificationsEnabledCallback>& notifications) {
    ZARN_CHECK_SEQUENCE(sequence_);
    // The date and the event: one commit of nothing told yet. Lost together to a power cut, the
    // heartbeat is sent again, as the service never had it.
    std::optional<ZarnPCommitGroup> commits(std::in_place, db_, ZarnPDurability::Normal, "HeartbeatService");
    Date now = clockDao_->now();
    keyValueDao_->setDatePropertyValue(now, setting::kLastHeartbeatDate);

    std::string notificationOptIn = notifications && notifications->enabled() ? "yes" : "no";
    if (notifications && systemAtLeast(12) && notifications->authorizationStatus() == kProvisionalStatus)
        notificationOptIn = "provisional";
    Value extra{
        {"notification_optin", notificationOptIn},
        {"location_optin", locationOptIn(locationManagerCreator_->authorizationStatus())},
        {"background_optin", backgroundExecutionEnabled ? "yes" : "no"},
    };
    if (systemAtLeast(14))
        extra["full_accuracy"] = deviceDataDao_->accurateLocationEnabled() ? "yes" : "no";
    eventService_->logEventWithType(ZarnPLogEventTypeHeartbeat, extra, nullptr);
    commits.reset();
    startTimer();
}

}  // namespace zarn
