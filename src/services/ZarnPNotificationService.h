#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "device/exchange/ZarnPStoreEventsAndLoadNotificationsDelegate.h"
#include "device/push/ZarnPGCMMediatorDelegate.h"
#include "services/ZarnPNotificationLoading.h"
#include "zarn/Date.h"
#include "zarn/Error.h"

namespace zarn {

class ZarnPBeaconNotification;
class ZarnPClockDao;
class ZarnPContextStarting;
class ZarnPEventDao;
class ZarnPEventService;
class ZarnPKeyValueDao;
class ZarnPLoadedNotificationStore;
class ZarnPLocationUpdating;
class ZarnPLocationWithAccuracy;
class ZarnPNotification;
class ZarnPNotificationServiceDelegate;
class ZarnPRemoteEventAndNotificationDao;
class ZarnPSegmentationReading;
class ZarnPSqLiteDb;
class ZarnPSystemPublicLogDao;

// Decides whether a run of the location update service also fetches a data update, starts that
// exchange, and completes the run's data-update step when the answer is in, skipped or failed.
// It also answers for, empties and clears the loaded notifications. SDK thread only.
class ZarnPNotificationService final : public ZarnPNotificationLoading,
                                       public ZarnPGCMMediatorDelegate,
                                       public ZarnPStoreEventsAndLoadNotificationsDelegate,
                                       public std::enable_shared_from_this<ZarnPNotificationService> {
  public:
    static constexpr const char* kDomain = "NotificationService";
    static constexpr double kForceUpdateIntervalSeconds = 300;
    static constexpr double kForegroundIntervalSeconds = 3600;
    static constexpr double kBackgroundIntervalSeconds = 1200;

    struct Collaborators {
        std::shared_ptr<ZarnPLoadedNotificationStore> localDao;
        std::shared_ptr<ZarnPLoadedNotificationStore> beaconDao;
        std::shared_ptr<ZarnPRemoteEventAndNotificationDao> remoteDao;
        std::shared_ptr<ZarnPEventDao> eventDao;
        std::shared_ptr<ZarnPKeyValueDao> keyValueDao;
        std::shared_ptr<ZarnPSystemPublicLogDao> publicLogDao;
        std::shared_ptr<ZarnPEventService> eventService;
        std::shared_ptr<ZarnPContextStarting> contextService;
        std::shared_ptr<ZarnPSegmentationReading> segmentationService;
        std::shared_ptr<ZarnPClockDao> clockDao;
        // optional: with it, the settings of a data update's start, and the writes of its end,
        // are one commit each
        std::shared_ptr<ZarnPSqLiteDb> db;
    };

    // Every collaborator is required but the two notification stores and the database: without one, its
    // operations do nothing.
    static std::shared_ptr<ZarnPNotificationService> create(Collaborators collaborators);
    ZarnPNotificationService(const ZarnPNotificationService&) = delete;
    ZarnPNotificationService& operator=(const ZarnPNotificationService&) = delete;

    // Held weakly: the location update service, which holds this service. A full update asked
    // for before it is set is not started.
    void setLocationUpdateService(std::weak_ptr<ZarnPLocationUpdating> service) {
        locationUpdateService_ = std::move(service);
    }
    // Held weakly: the location update service.
    void setDelegate(std::weak_ptr<ZarnPNotificationServiceDelegate> delegate) override;

    // YES when a data update is due, and then records its start.
    bool shouldPerformDataUpdate(bool inForeground);
    // The data-update step of a run: YES `inForeground` for a full update.
    void storeEventsAndUpdateNotificationsForLocation(
        const std::shared_ptr<ZarnPLocationWithAccuracy>& location, bool inForeground,
        bool supportsRegionExit, bool supportsBeacon,
        const std::shared_ptr<ZarnPContext>& zarnContext) override;
    void loadNotificationsCompleted(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                                    const std::string& publicToken, bool storeEvents,
                                    const std::shared_ptr<ZarnPContext>& zarnContext,
                                    const std::optional<Error>& error) override;
    void loadPushedNotificationsCompleted(const std::shared_ptr<ZarnPContext>& zarnContext) override;

    // Nothing on a store error; an empty list (and a full update started) before any data update.
    std::optional<std::vector<std::shared_ptr<ZarnPNotification>>> getLoadedNotifications() override;
    std::optional<std::vector<std::shared_ptr<ZarnPBeaconNotification>>> getLoadedBeaconNotifications();

    void deleteNotifications() override;
    void clearData() override;

    std::optional<Date> lastRequestedNotifications() const { return lastRequestedNotifications_; }
    std::optional<Date> lastRequestedForceUpdate() const { return lastRequestedForceUpdate_; }

  private:
    explicit ZarnPNotificationService(Collaborators collaborators);
    void completeStep(const std::shared_ptr<ZarnPContext>& zarnContext);

    Collaborators c_;
    std::optional<Date> lastRequestedNotifications_;
    std::optional<Date> lastRequestedForceUpdate_;
    std::weak_ptr<ZarnPNotificationServiceDelegate> delegate_;
    std::weak_ptr<ZarnPLocationUpdating> locationUpdateService_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
