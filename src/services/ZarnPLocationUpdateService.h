#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "core/ZarnPSequenceChecker.h"
#include "device/system/ZarnPLocationDaoDelegate.h"
#include "device/system/ZarnPSLCDaoDelegate.h"
#include "platform/Mutex.h"
#include "services/ZarnPCurrentLocationGetting.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPMatchServiceProximityTriggeredDelegate.h"
#include "services/ZarnPNotificationServiceDelegate.h"

namespace zarn {

namespace platform {
class NotificationCenter;
}

class ZarnPBackgroundTask;
class ZarnPBackgroundTaskDao;
class ZarnPClockDao;
class ZarnPContextService;
class ZarnPEventLogging;
class ZarnPKeyValueDao;
class ZarnPLocationWithAccuracy;
class ZarnPMatchRunDispatching;
class ZarnPNotificationLoading;
class ZarnPSystemLocationDao;
class ZarnPSystemPublicLogDao;
class ZarnPSqLiteDb;
class ZarnPSystemSLCDao;

// Decides when to fetch a fix and when to ask for a data update, waits for both, then hands the
// fix to the match-run dispatch, stores a "location_acquired" event for every waiting context and
// broadcasts the result. States: 0 disabled, 1 idle, 2 location-only update, 3 full update. While
// disabled nothing starts and no background task is kept. SDK thread only (the waiting contexts
// have their own lock).
class ZarnPLocationUpdateService final : public ZarnPLocationUpdating,
                                         public ZarnPCurrentLocationGetting,
                                         public ZarnPLocationDaoDelegate,
                                         public ZarnPSLCDaoDelegate,
                                         public ZarnPNotificationServiceDelegate,
                                         public ZarnPMatchServiceProximityTriggeredDelegate,
                                         public std::enable_shared_from_this<ZarnPLocationUpdateService> {
  public:
    enum State { Disabled = 0, Idle = 1, LocationOnly = 2, FullUpdate = 3 };
    static constexpr double kFullUpdateFreshSeconds = 120.0;
    static constexpr double kFreshSeconds = 5.0;
    static constexpr double kMatchAccuracyMeters = 2000.0;
    static constexpr double kSlcAccuracyMeters = 100.0;

    using CompletionHandler = std::function<void(std::shared_ptr<ZarnPLocationWithAccuracy>)>;

    // Every collaborator but the public log and the database is required; with the database
    // the writes of a run's end are one commit. Becomes the match service's
    // region-triggered delegate.
    static std::shared_ptr<ZarnPLocationUpdateService> create(
        std::shared_ptr<ZarnPSystemSLCDao> slcDao, std::shared_ptr<ZarnPSystemLocationDao> locationDao,
        std::shared_ptr<ZarnPNotificationLoading> locationNotificationService,
        std::shared_ptr<ZarnPMatchRunDispatching> matchService,
        std::shared_ptr<ZarnPEventLogging> eventService, std::shared_ptr<ZarnPContextService> contextService,
        std::shared_ptr<ZarnPKeyValueDao> keyValueDao, std::shared_ptr<ZarnPClockDao> clockDao,
        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao,
        std::shared_ptr<platform::NotificationCenter> center, std::shared_ptr<ZarnPSqLiteDb> db = nullptr);
    ZarnPLocationUpdateService(const ZarnPLocationUpdateService&) = delete;
    ZarnPLocationUpdateService& operator=(const ZarnPLocationUpdateService&) = delete;

    // ZarnPLocationUpdating
    void enable() override;
    void disable() override;
    void performFullUpdate(std::shared_ptr<ZarnPContext> context) override;
    void performFullUpdateOrLogCurrentLocationWithContext(std::shared_ptr<ZarnPContext> context) override;
    void clearData() override;

    // The handler runs once, with the fix of the run (or nothing), at the first of
    // "Zarn_Wont_Update" and "Zarn_Location_Update_Completed_Private".
    void performFullUpdateWithCompletionHandler(CompletionHandler handler,
                                                std::shared_ptr<ZarnPContext> context);
    // The same; without a fresh fix the cached one is given.
    void performFullUpdateOrGetCurrentLocationWithCompletionHandler(
        CompletionHandler handler, std::shared_ptr<ZarnPContext> context) override;
    void performLocationUpdate(std::shared_ptr<ZarnPContext> context);
    bool isLocationBeingRequested() const;
    bool shouldRequestFreshLocation(bool fullUpdate);
    static std::shared_ptr<ZarnPLocationWithAccuracy> getLocation(
        const std::optional<platform::LocationFix>& fix);

    // ZarnPMatchServiceProximityTriggeredDelegate
    void proximityTriggered(const std::shared_ptr<ZarnPContext>& context) override;
    // ZarnPLocationDaoDelegate
    void locationDaoDidReceiveLocation(const std::optional<platform::LocationFix>& location,
                                       const std::shared_ptr<ZarnPContext>& zarnContext) override;
    // ZarnPSLCDaoDelegate
    void slcDaoDidReceiveLocation(const platform::LocationFix& location,
                                  const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                  const std::shared_ptr<ZarnPContext>& zarnContext) override;
    // ZarnPNotificationServiceDelegate
    void locationNotificationServiceUpdatedNotifications(
        const std::shared_ptr<ZarnPContext>& context) override;
    void notificationServiceReceivedPushForLocation(const std::shared_ptr<ZarnPContext>& context) override;

    int serviceState() const { return state_; }
    bool hasQueriedLocation() const { return hasQueriedLocation_; }
    bool hasPerformedDataUpdate() const { return hasPerformedDataUpdate_; }
    const std::shared_ptr<ZarnPLocationWithAccuracy>& currentLocation() const { return currentLocation_; }
    const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask() const { return backgroundTask_; }
    size_t awaitingContextCount();

  private:
    ZarnPLocationUpdateService() = default;
    void nextStep(const std::shared_ptr<ZarnPContext>& context);
    void acquiredNewLocation(const std::shared_ptr<ZarnPContext>& context);
    void deliverCurrentLocationToMatchService(const std::shared_ptr<ZarnPContext>& context);
    void storeLocationAcquiredEvent(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                                    const std::shared_ptr<ZarnPContext>& context);
    void addContextToAwaitingContexts(const std::shared_ptr<ZarnPContext>& context);
    void requestDataUpdate(const std::shared_ptr<ZarnPLocationWithAccuracy>& location, bool inForeground,
                           const std::shared_ptr<ZarnPContext>& context);
    void postWontUpdate();
    void scheduleCompleted();
    void observeOnce(CompletionHandler handler, bool cachedWhenAbsent);

    ZarnPSequenceChecker sequence_;
    std::shared_ptr<ZarnPSystemSLCDao> slcDao_;
    std::shared_ptr<ZarnPSystemLocationDao> locationDao_;
    std::shared_ptr<ZarnPNotificationLoading> locationNotificationService_;
    std::shared_ptr<ZarnPMatchRunDispatching> matchService_;
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao_;
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao_;
    std::shared_ptr<ZarnPEventLogging> eventService_;
    std::shared_ptr<ZarnPContextService> contextService_;
    std::shared_ptr<platform::NotificationCenter> center_;
    std::shared_ptr<ZarnPSqLiteDb> db_;
    int state_ = Disabled;
    bool hasQueriedLocation_ = false;
    bool hasPerformedDataUpdate_ = false;
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask_;
    std::shared_ptr<ZarnPLocationWithAccuracy> currentLocation_;
    Mutex awaitingContextsLock_;
    std::set<std::shared_ptr<ZarnPContext>> awaitingContexts_ ZARN_GUARDED_BY(awaitingContextsLock_);
};

}  // namespace zarn
