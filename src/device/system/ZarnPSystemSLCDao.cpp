#include "device/system/ZarnPSystemSLCDao.h"

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPContextStarting.h"
#include "core/ZarnPLocationUtil.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPBackgroundTaskDao.h"
#include "device/system/ZarnPSLCDaoDelegate.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SystemSLCDao";
}

ZarnPSystemSLCDao::ZarnPSystemSLCDao(std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                                     std::shared_ptr<ZarnPClockDao> clockDao,
                                     std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                                     std::shared_ptr<ZarnPContextStarting> contextService,
                                     std::shared_ptr<platform::LocationManagerFactory> locationManagerFactory,
                                     std::shared_ptr<platform::LocationAuthorization> locationAuthorization)
    : timerDao_(std::move(timerDao)),
      clockDao_(std::move(clockDao)),
      backgroundTaskDao_(std::move(backgroundTaskDao)),
      contextService_(std::move(contextService)),
      locationManagerFactory_(std::move(locationManagerFactory)),
      locationAuthorization_(std::move(locationAuthorization)) {
    ZARN_REQUIRE(timerDao_);
    ZARN_REQUIRE(clockDao_);
    ZARN_REQUIRE(backgroundTaskDao_);
    ZARN_REQUIRE(contextService_);
    ZARN_REQUIRE(locationManagerFactory_);
    ZARN_REQUIRE(locationAuthorization_);
}

ZarnPSystemSLCDao::~ZarnPSystemSLCDao() {
    if (collectTimer_)
        collectTimer_->invalidate();
}

void ZarnPSystemSLCDao::setDelegate(std::shared_ptr<ZarnPSLCDaoDelegate> delegate) {
    ZARN_CHECK_SEQUENCE(sequence_);
    delegate_ = std::move(delegate);
}

void ZarnPSystemSLCDao::enable() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!locationAuthorization_->significantLocationChangeMonitoringAvailable()) {
        LogDebug(kDomain, "significantLocationChangeMonitoringAvailable == false");
        return;
    }
    if (!locationManager_) {
        locationManager_ = locationManagerFactory_->createLocationManager();
        locationManager_->setDelegate(weak_from_this());
    }
    bool canAsk = locationManager_->respondsToAuthorizationRequests();
    if (automaticallyAskLocationPermission_ && enableBackgroundLocation_ && canAsk) {
        locationManager_->requestAlwaysAuthorization();
        locationManager_->startMonitoringSignificantLocationChanges();
        return;
    }
    if (automaticallyAskLocationPermission_ && !enableBackgroundLocation_ && canAsk)
        locationManager_->requestWhenInUseAuthorization();
    if (enableBackgroundLocation_)
        locationManager_->startMonitoringSignificantLocationChanges();
}

void ZarnPSystemSLCDao::disable() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (locationManager_)
        locationManager_->stopMonitoringSignificantLocationChanges();
    locationManager_.reset();
}

void ZarnPSystemSLCDao::locationManagerDidUpdateLocations(
    const std::vector<platform::LocationFix>& locations) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!collectTimer_) {
        std::weak_ptr<ZarnPSystemSLCDao> weak = weak_from_this();
        collectTimer_ = timerDao_->scheduledTimerWithTimeInterval(
            kCollectSeconds, "ZarnPSystemSLCDao",
            [weak] {
                if (auto self = weak.lock())
                    self->completeCollect();
            },
            false);
        backgroundTask_ = backgroundTaskDao_->startBackgroundTask();
    }
    for (const auto& l : locations)
        LogDebug(kDomain, "SLC: %f,%f (%f) - %@", l.latitude, l.longitude, l.horizontalAccuracy, l.timestamp);
    bestLocation_ = ZarnPLocationUtil::getMostAccurateLocation(
        locations, bestLocation_, dateByAddingTimeInterval(clockDao_->now(), -kMaxAgeSeconds));
}

void ZarnPSystemSLCDao::completeCollect() {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogDebug(kDomain, "completeCollect");
    if (collectTimer_)
        collectTimer_->invalidate();
    collectTimer_.reset();
    // Taken out first, so that the delegate's own calls find a clean collector.
    auto best = std::move(bestLocation_);
    bestLocation_.reset();
    auto task = std::move(backgroundTask_);
    backgroundTask_.reset();
    if (best && delegate_) {
        auto context = contextService_->startContext(ZarnTriggerContextSlc);
        delegate_->slcDaoDidReceiveLocation(*best, task, context);
    }
    LogDebug(kDomain, "Cleanup for completeCollect");
}

void ZarnPSystemSLCDao::locationManagerDidFailWithError(const Error& error) {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogDebug(kDomain, "Unable to obtain significant location: %@", error);
}

void ZarnPSystemSLCDao::locationManagerDidPauseLocationUpdates() {
    LogDebug(kDomain, "locationManagerDidPauseLocationUpdates");
}

void ZarnPSystemSLCDao::locationManagerDidResumeLocationUpdates() {
    LogDebug(kDomain, "locationManagerDidResumeLocationUpdates");
}

}  // namespace zarn
