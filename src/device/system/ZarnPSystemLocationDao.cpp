#include "device/system/ZarnPSystemLocationDao.h"

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPLocationUtil.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/system/ZarnPLocationDaoDelegate.h"
#include "device/system/ZarnPLocationManagerCreator.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SystemLocationDao";
}

ZarnPSystemLocationDao::ZarnPSystemLocationDao(
    std::shared_ptr<ZarnPSystemTimerDao> timerDao, std::shared_ptr<ZarnPClockDao> clockDao,
    std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator)
    : timerDao_(std::move(timerDao)),
      clockDao_(std::move(clockDao)),
      locationManagerCreator_(std::move(locationManagerCreator)) {
    ZARN_REQUIRE(timerDao_);
    ZARN_REQUIRE(clockDao_);
}

ZarnPSystemLocationDao::~ZarnPSystemLocationDao() {
    if (collectTimer_)
        collectTimer_->invalidate();
}

void ZarnPSystemLocationDao::setDelegate(std::shared_ptr<ZarnPLocationDaoDelegate> delegate) {
    ZARN_CHECK_SEQUENCE(sequence_);
    delegate_ = std::move(delegate);
}

void ZarnPSystemLocationDao::setLocationManager(std::shared_ptr<platform::LocationManager> manager) {
    ZARN_CHECK_SEQUENCE(sequence_);
    locationManager_ = std::move(manager);
    if (locationManager_)
        locationManager_->setDelegate(weak_from_this());
}

std::shared_ptr<platform::Timer> ZarnPSystemLocationDao::schedule(
    double seconds, void (ZarnPSystemLocationDao::*selector)()) {
    std::weak_ptr<ZarnPSystemLocationDao> weak = weak_from_this();
    return timerDao_->scheduledTimerWithTimeInterval(
        seconds, "ZarnPSystemLocationDao",
        [weak, selector] {
            if (auto self = weak.lock())
                ((*self).*selector)();
        },
        false);
}

void ZarnPSystemLocationDao::requestLocation(bool fullUpdate, std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (collectTimer_) {
        LogDebug(kDomain, "Ignoring requestLocation. Already updating");
        return;
    }
    currentContext_ = std::move(zarnContext);
    collectTimer_ = schedule(fullUpdate ? kLongWindowSeconds : kShortWindowSeconds,
                             &ZarnPSystemLocationDao::requestLocationStop);
    if (!locationManager_ && locationManagerCreator_)
        setLocationManager(locationManagerCreator_->createDefaultLocationManager());
    if (locationManager_)
        locationManager_->startUpdatingLocation();
}

void ZarnPSystemLocationDao::locationManagerDidUpdateLocations(
    const std::vector<platform::LocationFix>& locations) {
    ZARN_CHECK_SEQUENCE(sequence_);
    for (const auto& l : locations)
        LogDebug(kDomain, "Location: %f,%f (%f) - %@", l.latitude, l.longitude, l.horizontalAccuracy,
                 l.timestamp);
    // Updates stop asynchronously: a batch after the request completed belongs to no request and
    // must neither answer again nor seed the next request's best fix.
    if (!collectTimer_)
        return;
    bestLocation_ = ZarnPLocationUtil::getMostAccurateLocation(
        locations, bestLocation_, dateByAddingTimeInterval(clockDao_->now(), -kMaxAgeSeconds));
    if (bestLocation_ && bestLocation_->horizontalAccuracy < kEarlyStopAccuracyMeters)
        requestLocationStop();
}

void ZarnPSystemLocationDao::requestLocationStop() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (collectTimer_)
        collectTimer_->invalidate();
    collectTimer_ = schedule(kCompleteDelaySeconds, &ZarnPSystemLocationDao::requestLocationComplete);
    if (locationManager_)
        locationManager_->stopUpdatingLocation();
}

void ZarnPSystemLocationDao::requestLocationComplete() {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogDebug(kDomain, "requestLocationComplete");
    if (collectTimer_)
        collectTimer_->invalidate();
    collectTimer_.reset();
    auto best = std::move(bestLocation_);
    bestLocation_.reset();
    if (delegate_)
        delegate_->locationDaoDidReceiveLocation(best, currentContext_);
}

void ZarnPSystemLocationDao::locationManagerDidFailWithError(const Error& error) {
    ZARN_CHECK_SEQUENCE(sequence_);
    LogDebug(kDomain, "didFailWithError: %@", error);
}

void ZarnPSystemLocationDao::locationManagerDidPauseLocationUpdates() {
    LogDebug(kDomain, "locationManagerDidPauseLocationUpdates");
}

void ZarnPSystemLocationDao::locationManagerDidResumeLocationUpdates() {
    LogDebug(kDomain, "locationManagerDidResumeLocationUpdates");
}

}  // namespace zarn
