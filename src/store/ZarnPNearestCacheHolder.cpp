#include "store/ZarnPNearestCacheHolder.h"

#include <cmath>

#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"

namespace zarn {

ZarnPNearestCacheHolder::ZarnPNearestCacheHolder(std::shared_ptr<ZarnPClockDao> clockDao)
    : clockDao_(std::move(clockDao)) {
    ZARN_REQUIRE(clockDao_);
}

ZarnPNearestCacheHolder::Slot* ZarnPNearestCacheHolder::slot(int regionType) {
    if (regionType < 0 || regionType >= static_cast<int>(slots_.size()))
        return nullptr;
    return &slots_[static_cast<size_t>(regionType)];
}

const ZarnPNearestCacheHolder::Slot* ZarnPNearestCacheHolder::slot(int regionType) const {
    return const_cast<ZarnPNearestCacheHolder*>(this)->slot(regionType);
}

bool ZarnPNearestCacheHolder::shouldRetrieveNearestFromDb(int regionType) {
    const Slot* s = slot(regionType);
    if (!s || !s->notifications || s->notifications->empty() || !s->timestamp || !s->location)
        return true;
    if (std::fabs(timeIntervalBetween(clockDao_->now(), *s->timestamp)) > kMaxAgeSeconds)
        return true;
    // NaN accuracy is no better than a bad one.
    return !(s->location->accuracy() <= kMaxAccuracyMeters);
}

void ZarnPNearestCacheHolder::saveNotificationsToCache(
    int regionType, std::vector<ZarnPNotification> notifications,
    const ZarnPLocationWithAccuracy& locationWithAccuracy) {
    Slot* s = slot(regionType);
    if (!s)
        return;
    s->notifications = std::move(notifications);
    s->timestamp = clockDao_->now();
    s->location = locationWithAccuracy;
}

std::optional<std::vector<ZarnPNotification>> ZarnPNearestCacheHolder::retrieveCachedNotifications(
    int regionType) const {
    const Slot* s = slot(regionType);
    if (!s)
        return std::nullopt;
    return s->notifications.value_or(std::vector<ZarnPNotification>{});
}

std::optional<Date> ZarnPNearestCacheHolder::retrieveCachedTimestamp(int regionType) const {
    const Slot* s = slot(regionType);
    return s ? s->timestamp : std::nullopt;
}

std::optional<ZarnPLocationWithAccuracy> ZarnPNearestCacheHolder::retrieveCachedLocation(
    int regionType) const {
    const Slot* s = slot(regionType);
    return s ? s->location : std::nullopt;
}

void ZarnPNearestCacheHolder::invalidate() {
    slots_ = {};
}

}  // namespace zarn
