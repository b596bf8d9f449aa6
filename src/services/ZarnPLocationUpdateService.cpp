#include "services/ZarnPLocationUpdateService.h"

#include <cmath>

#include "core/Format.h"
#include "core/ZarnException.h"
#include "core/ZarnPClockDao.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogger.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPBackgroundTaskDao.h"
#include "device/system/ZarnPSystemLocationDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemSLCDao.h"
#include "services/ZarnPBroadcastNames.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventLogging.h"
#include "services/ZarnPMatchRunDispatching.h"
#include "services/ZarnPNotificationLoading.h"
#include "store/ZarnPCommitGroup.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "zarn/Value.h"
#include "zarn/ZarnValues.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/RunLoop.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "LocationUpdateService";
constexpr unsigned kLocationAcquiredEventType = 2;
}  // namespace

std::shared_ptr<ZarnPLocationUpdateService> ZarnPLocationUpdateService::create(
    std::shared_ptr<ZarnPSystemSLCDao> slcDao, std::shared_ptr<ZarnPSystemLocationDao> locationDao,
    std::shared_ptr<ZarnPNotificationLoading> locationNotificationService,
    std::shared_ptr<ZarnPMatchRunDispatching> matchService, std::shared_ptr<ZarnPEventLogging> eventService,
    std::shared_ptr<ZarnPContextService> contextService, std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
    std::shared_ptr<ZarnPClockDao> clockDao, std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao,
    std::shared_ptr<platform::NotificationCenter> center, std::shared_ptr<ZarnPSqLiteDb> db) {
    ZARN_REQUIRE(slcDao);
    ZARN_REQUIRE(locationDao);
    ZARN_REQUIRE(locationNotificationService);
    ZARN_REQUIRE(matchService);
    ZARN_REQUIRE(eventService);
    ZARN_REQUIRE(contextService);
    ZARN_REQUIRE(keyValueDao);
    ZARN_REQUIRE(clockDao);
    ZARN_REQUIRE(backgroundTaskDao);
    ZARN_REQUIRE(center);
    std::shared_ptr<ZarnPLocationUpdateService> service(new ZarnPLocationUpdateService());
    service->slcDao_ = std::move(slcDao);
    service->locationDao_ = std::move(locationDao);
    service->locationNotificationService_ = std::move(locationNotificationService);
    service->matchService_ = std::move(matchService);
    service->eventService_ = std::move(eventService);
    service->contextService_ = std::move(contextService);
    service->keyValueDao_ = std::move(keyValueDao);
    service->clockDao_ = std::move(clockDao);
    service->backgroundTaskDao_ = std::move(backgroundTaskDao);
    service->publicLogDao_ = std::move(publicLogDao);
    service->center_ = std::move(center);
    service->db_ = std::move(db);
    service->matchService_->setRegionTriggeredDelegate(service);
    return service;
}

void ZarnPLocationUpdateService::enable() {
    ZARN_CHECK_SEQUENCE(sequence_);
    slcDao_->enable();
    if (state_ == Disabled)
        state_ = Idle;
}

void ZarnPLocationUpdateService::disable() {
    ZARN_CHECK_SEQUENCE(sequence_);
    slcDao_->disable();
    state_ = Disabled;
}

bool ZarnPLocationUpdateService::isLocationBeingRequested() const {
    return state_ != Idle;
}

bool ZarnPLocationUpdateService::shouldRequestFreshLocation(bool fullUpdate) {
    ZARN_CHECK_SEQUENCE(sequence_);
    auto lastRun = keyValueDao_->getDatePropertyValueForKey(setting::kLastMatchRun);
    if (!lastRun)
        return true;
    bool forced = keyValueDao_->getBoolPropertyValueForKey(setting::kForceUpdate, false);
    double threshold = fullUpdate && !forced ? kFullUpdateFreshSeconds : kFreshSeconds;
    // A clock set back counts by its distance.
    return std::fabs(timeIntervalSince1970(clockDao_->now()) - timeIntervalSince1970(*lastRun)) > threshold;
}

std::shared_ptr<ZarnPLocationWithAccuracy> ZarnPLocationUpdateService::getLocation(
    const std::optional<platform::LocationFix>& fix) {
    if (!fix)
        return nullptr;
    return std::make_shared<ZarnPLocationWithAccuracy>(fix->latitude, fix->longitude,
                                                       fix->horizontalAccuracy);
}

void ZarnPLocationUpdateService::scheduleCompleted() {
    // Written on a later pass of the loop, like a message performed on the current thread.
    if (auto* loop = platform::RunLoop::current())
        loop->post([] { LogDebug(kDomain, "completed"); });
    else
        LogDebug(kDomain, "completed");
}

void ZarnPLocationUpdateService::postWontUpdate() {
    platform::Broadcast::UserInfo userInfo;
    if (currentLocation_)
        userInfo[broadcast::kCurrentLocationKey] = currentLocation_;
    center_->post(broadcast::kWontUpdate, shared_from_this(), std::move(userInfo));
}

void ZarnPLocationUpdateService::performFullUpdate(std::shared_ptr<ZarnPContext> context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (shouldRequestFreshLocation(true) && state_ == Idle) {
        backgroundTask_ = backgroundTaskDao_->startBackgroundTask();
        state_ = FullUpdate;
        matchService_->setPerformGeofenceMatchRun(true);
        hasQueriedLocation_ = false;
        hasPerformedDataUpdate_ = false;
        addContextToAwaitingContexts(context);
        locationDao_->requestLocation(true, context);
        return;
    }
    scheduleCompleted();
    if (isLocationBeingRequested()) {
        // Released at the end of the running run (or of the next one while disabled).
        addContextToAwaitingContexts(context);
        return;
    }
    if (currentLocation_)
        storeLocationAcquiredEvent(currentLocation_, context);
    postWontUpdate();
}

void ZarnPLocationUpdateService::performFullUpdateOrLogCurrentLocationWithContext(
    std::shared_ptr<ZarnPContext> context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (!shouldRequestFreshLocation(true) && currentLocation_) {
        storeLocationAcquiredEvent(currentLocation_, context);
        return;
    }
    performFullUpdate(std::move(context));
}

void ZarnPLocationUpdateService::observeOnce(CompletionHandler handler, bool cachedWhenAbsent) {
    // One registration owner for both names, so the first broadcast removes both.
    struct Once {
        CompletionHandler handler;
        bool done = false;
    };
    auto once = std::make_shared<Once>(Once{std::move(handler)});
    std::weak_ptr<ZarnPLocationUpdateService> weak = weak_from_this();
    // The centre holds this observer: a strong link back would keep both, and whatever the
    // handler holds, alive when the run never ends.
    std::weak_ptr<platform::NotificationCenter> center = center_;
    auto observer = [once, weak, center, cachedWhenAbsent](const platform::Broadcast& b) {
        if (once->done)
            return;
        once->done = true;
        if (auto c = center.lock())
            c->removeObserver(once.get());
        auto location = b.get<std::shared_ptr<ZarnPLocationWithAccuracy>>(broadcast::kCurrentLocationKey)
                            .value_or(nullptr);
        if (!location && cachedWhenAbsent)
            if (auto self = weak.lock())
                location = self->currentLocation_;
        auto handler = std::move(once->handler);
        if (handler)
            handler(location);
    };
    center_->addObserver(once.get(), broadcast::kWontUpdate, observer);
    center_->addObserver(once.get(), broadcast::kLocationUpdateCompletedPrivate, observer);
}

void ZarnPLocationUpdateService::performFullUpdateWithCompletionHandler(
    CompletionHandler handler, std::shared_ptr<ZarnPContext> context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    observeOnce(std::move(handler), false);
    performFullUpdate(std::move(context));
}

void ZarnPLocationUpdateService::performFullUpdateOrGetCurrentLocationWithCompletionHandler(
    CompletionHandler handler, std::shared_ptr<ZarnPContext> context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    observeOnce(std::move(handler), true);
    performFullUpdate(std::move(context));
}

void ZarnPLocationUpdateService::performLocationUpdate(std::shared_ptr<ZarnPContext> context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (state_ == Disabled) {
        // Nothing runs while disabled: the task begun for the update ends at once.
        backgroundTaskDao_->startBackgroundTask();
        scheduleCompleted();
        return;
    }
    backgroundTask_ = backgroundTaskDao_->startBackgroundTask();
    if (isLocationBeingRequested()) {
        scheduleCompleted();
        return;
    }
    if (!shouldRequestFreshLocation(false)) {
        LogDebug(kDomain, "Using cached location");
        deliverCurrentLocationToMatchService(context);
        return;
    }
    LogDebug(kDomain, "Starting update for location only update");
    state_ = LocationOnly;
    hasPerformedDataUpdate_ = true;
    hasQueriedLocation_ = false;
    locationDao_->requestLocation(false, context);
}

void ZarnPLocationUpdateService::proximityTriggered(const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    performLocationUpdate(context);
}

void ZarnPLocationUpdateService::notificationServiceReceivedPushForLocation(
    const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (state_ == Disabled) {
        // The pushed update is saved; nothing else happens while disabled.
        LogDebug(kDomain, "Ignoring push while disabled");
        return;
    }
    matchService_->setPerformGeofenceMatchRun(true);
    state_ = Idle;
    performLocationUpdate(context);
}

void ZarnPLocationUpdateService::requestDataUpdate(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                                                   bool inForeground,
                                                   const std::shared_ptr<ZarnPContext>& context) {
    locationNotificationService_->storeEventsAndUpdateNotificationsForLocation(
        location, inForeground, matchService_->isRegionExitSupported(), matchService_->isBeaconSupported(),
        context);
}

void ZarnPLocationUpdateService::slcDaoDidReceiveLocation(
    const platform::LocationFix& location, const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
    const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (state_ == Disabled) {
        // Not kept: the wrapper's release of the task ends it.
        LogDebug(kDomain, "Ignoring SLC while disabled");
        return;
    }
    if (!shouldRequestFreshLocation(false)) {
        scheduleCompleted();
        return;
    }
    LogDebug(kDomain, "Updating because of SLC");
    state_ = LocationOnly;
    ZARN_REQUIRE(backgroundTask);
    backgroundTask_ = backgroundTask;
    auto converted = getLocation(location);
    hasPerformedDataUpdate_ = false;
    if (converted && converted->accuracy() <= kSlcAccuracyMeters) {
        currentLocation_ = converted;
        hasQueriedLocation_ = true;
    } else {
        hasQueriedLocation_ = false;
        locationDao_->requestLocation(false, zarnContext);
    }
    matchService_->setPerformGeofenceMatchRun(true);
    requestDataUpdate(converted, false, zarnContext);
}

void ZarnPLocationUpdateService::locationDaoDidReceiveLocation(
    const std::optional<platform::LocationFix>& location, const std::shared_ptr<ZarnPContext>& zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (state_ != LocationOnly && state_ != FullUpdate) {
        // A run cut short by disable keeps no background task.
        if (state_ == Disabled)
            backgroundTask_.reset();
        return;
    }
    currentLocation_ = getLocation(location);
    hasQueriedLocation_ = true;
    nextStep(zarnContext);
}

void ZarnPLocationUpdateService::locationNotificationServiceUpdatedNotifications(
    const std::shared_ptr<ZarnPContext>& context) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (state_ != LocationOnly && state_ != FullUpdate)
        return;
    hasPerformedDataUpdate_ = true;
    nextStep(context);
}

void ZarnPLocationUpdateService::nextStep(const std::shared_ptr<ZarnPContext>& context) {
    LogDebug(kDomain, "nextStep: %@ - %@", hasPerformedDataUpdate_ ? 1 : 0, hasQueriedLocation_ ? 1 : 0);
    if (hasPerformedDataUpdate_ && hasQueriedLocation_) {
        {
            // The time of the run and its events: one commit before the match run, of nothing
            // anyone outside is told of.
            ZarnPCommitGroup commits(db_, ZarnPDurability::Normal, kDomain);
            acquiredNewLocation(context);
        }
        deliverCurrentLocationToMatchService(context);
        if (state_ != Disabled)
            state_ = Idle;
        platform::Broadcast::UserInfo privateInfo;
        platform::Broadcast::UserInfo publicInfo;
        if (currentLocation_) {
            privateInfo[broadcast::kCurrentLocationKey] = currentLocation_;
            privateInfo[broadcast::kZarnContextKey] = context;
            publicInfo[broadcast::kCurrentLocationKey] = ZarnLocationWithAccuracy::initWithLatitude(
                currentLocation_->latitude(), currentLocation_->longitude(), currentLocation_->accuracy());
        }
        center_->post(broadcast::kLocationUpdateCompletedPrivate, shared_from_this(), std::move(privateInfo));
        center_->post(broadcast::kLocationUpdateCompleted, shared_from_this(), std::move(publicInfo));
        scheduleCompleted();
        return;
    }
    // A full update fetches the fix first, then the data update.
    if (state_ == FullUpdate && hasQueriedLocation_)
        requestDataUpdate(currentLocation_, true, context);
}

void ZarnPLocationUpdateService::acquiredNewLocation(const std::shared_ptr<ZarnPContext>& context) {
    if (publicLogDao_)
        publicLogDao_->logLocationAcquired(currentLocation_, context);
    keyValueDao_->setDatePropertyValue(clockDao_->now(), setting::kLastMatchRun);
    std::set<std::shared_ptr<ZarnPContext>> waiting;
    {
        MutexLock lk(awaitingContextsLock_);
        if (context)
            awaitingContexts_.insert(context);
        waiting.swap(awaitingContexts_);
    }
    // Outside the lock: storing an event may log, and logging may reach this service again.
    for (auto& waitingContext : waiting) {
        storeLocationAcquiredEvent(currentLocation_, waitingContext);
        contextService_->decrementContext(waitingContext);
    }
}

void ZarnPLocationUpdateService::deliverCurrentLocationToMatchService(
    const std::shared_ptr<ZarnPContext>& context) {
    auto task = std::move(backgroundTask_);
    backgroundTask_.reset();
    if (currentLocation_ && currentLocation_->accuracy() <= kMatchAccuracyMeters) {
        ZARN_REQUIRE(task);
        matchService_->locationAcquired(currentLocation_, task, context);
    } else {
        LogDebug(kDomain, "Ignoring location because it is nil or inaccurate %@",
                 currentLocation_ ? format("%f,%f (%f)", currentLocation_->latitude(),
                                           currentLocation_->longitude(), currentLocation_->accuracy())
                                  : std::string("(null)"));
    }
}

void ZarnPLocationUpdateService::storeLocationAcquiredEvent(
    const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
    const std::shared_ptr<ZarnPContext>& context) {
    Value extra = Value::object();
    extra["location"] =
        location ? format("%f,%f", location->latitude(), location->longitude()) : std::string();
    extra["accuracy"] = location ? format("%f", location->accuracy()) : std::string();
    eventService_->logEventWithType(kLocationAcquiredEventType, extra, context);
}

void ZarnPLocationUpdateService::addContextToAwaitingContexts(const std::shared_ptr<ZarnPContext>& context) {
    if (!context)
        return;
    MutexLock lk(awaitingContextsLock_);
    awaitingContexts_.insert(context);
}

size_t ZarnPLocationUpdateService::awaitingContextCount() {
    MutexLock lk(awaitingContextsLock_);
    return awaitingContexts_.size();
}

void ZarnPLocationUpdateService::clearData() {
    ZARN_CHECK_SEQUENCE(sequence_);
    keyValueDao_->unsetPropertyKey(setting::kLastMatchRun);
    locationNotificationService_->clearData();
}

}  // namespace zarn
