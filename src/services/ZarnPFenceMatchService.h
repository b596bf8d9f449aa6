#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/Uuid.h"
#include "core/ZarnPSequenceChecker.h"
#include "device/system/ZarnPFenceDaoDelegate.h"
#include "platform/Mutex.h"
#include "services/ZarnPMatchRunDispatching.h"
#include "zarn/Date.h"

namespace zarn {

namespace platform {
class NotificationCenter;
}

class ZarnPBeaconMatching;
class ZarnPContextService;
class ZarnPDeviceDataDao;
class ZarnPDwellingEnding;
class ZarnPFenceDao;
class ZarnPGeofenceMatching;
class ZarnPKeyValueDao;
class ZarnPPublicLogging;
class ZarnPSqLiteDb;
class ZarnPUINotificationDao;

// Turns region events and ranging results into the match runs that are due, asks the location
// update service for a fix, and runs them when the fix comes: dwelling expiry and geofence
// matching, beacon matching, beacon exits. A failing beacon step is logged and retried with the
// next fix. Follows "Zarn_Enabled" and "Zarn_Disabled". SDK thread, except that the ranged
// beacons and the left beacon UUIDs are guarded by one lock that exists from construction. A beacon
// run reads them under the lock but runs without it (the run may report a beacon exit back here),
// and then drops only what it handled.
class ZarnPFenceMatchService final : public ZarnPMatchRunDispatching,
                                     public ZarnPFenceDaoDelegate,
                                     public std::enable_shared_from_this<ZarnPFenceMatchService> {
  public:
    // Every collaborator but the public log and the database (which gathers the enabling's
    // bookkeeping into one unsynced commit) is required. Observes the centre until destroyed.
    static std::shared_ptr<ZarnPFenceMatchService> create(
        std::shared_ptr<ZarnPFenceDao> fenceDao, std::shared_ptr<ZarnPUINotificationDao> uiNotificationDao,
        std::shared_ptr<ZarnPContextService> contextService,
        std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao, std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
        std::shared_ptr<ZarnPPublicLogging> publicLogDao,
        std::shared_ptr<ZarnPGeofenceMatching> geofenceMatchingService,
        std::shared_ptr<ZarnPBeaconMatching> beaconMatchingService,
        std::shared_ptr<platform::NotificationCenter> center, std::shared_ptr<ZarnPDwellingEnding> dwellings,
        std::shared_ptr<ZarnPSqLiteDb> db = nullptr);
    ~ZarnPFenceMatchService() override;
    ZarnPFenceMatchService(const ZarnPFenceMatchService&) = delete;
    ZarnPFenceMatchService& operator=(const ZarnPFenceMatchService&) = delete;

    void enable() ZARN_EXCLUDES(beaconLock_);
    void disable();

    // ZarnPMatchRunDispatching
    void locationAcquired(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                          const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                          const std::shared_ptr<ZarnPContext>& context) override;
    void setPerformGeofenceMatchRun(bool perform) override;
    bool performGeofenceMatchRun() const override { return performGeofenceMatchRun_; }
    bool isBeaconSupported() override;
    bool isRegionExitSupported() override;
    void setRegionTriggeredDelegate(
        std::weak_ptr<ZarnPMatchServiceProximityTriggeredDelegate> delegate) override;
    void clearData() override;

    bool performBeaconMatchRun() const { return performBeaconMatchRun_; }
    void setPerformBeaconMatchRun(bool perform) { performBeaconMatchRun_ = perform; }
    bool checkForBeaconExit() ZARN_EXCLUDES(beaconLock_);
    std::vector<platform::Beacon> rangedBeacons() ZARN_EXCLUDES(beaconLock_);
    std::set<Uuid> exitedBeaconUuids() ZARN_EXCLUDES(beaconLock_);

    // ZarnPFenceDaoDelegate
    void fenceDaoDidEnterGeofence(const std::string& identifier) override;
    void fenceDaoDidExitGeofence(const std::string& identifier) override;
    void fenceDaoDidExitBeaconRegion(const Uuid& proximityUuid,
                                     const std::shared_ptr<ZarnPContext>& zarnContext) override
        ZARN_EXCLUDES(beaconLock_);
    void fenceDaoFinishRangingBeacons(const std::vector<platform::Beacon>& beacons, const Uuid& beaconUuid,
                                      const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                      const std::shared_ptr<ZarnPContext>& zarnContext) override;
    void fenceDaoFinishRangingBeacons(const std::vector<platform::Beacon>& beacons, const Uuid& beaconUuid,
                                      bool isAppInForeground,
                                      const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                      const std::shared_ptr<ZarnPContext>& zarnContext)
        ZARN_EXCLUDES(beaconLock_);
    void fenceDaoFinishRanging(const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                               const std::shared_ptr<ZarnPContext>& zarnContext) override;

  private:
    ZarnPFenceMatchService() = default;
    void geofenceTriggered();
    void triggerProximity(const std::shared_ptr<ZarnPContext>& context);
    // The beacon steps of a match run; a step that raises is logged and leaves its flag and set
    // for the next fix.
    void runBeaconMatch(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                        const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                        const std::shared_ptr<ZarnPContext>& context) ZARN_EXCLUDES(beaconLock_);
    void runBeaconExitCheck(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                            const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                            const std::shared_ptr<ZarnPContext>& context) ZARN_EXCLUDES(beaconLock_);
    // Runs a step; one that raises is written to the public log with the failure's format and
    // answers false.
    bool stepSucceeded(const std::shared_ptr<ZarnPContext>& context, std::string_view failureFormat,
                       const std::function<void()>& step);

    ZarnPSequenceChecker sequence_;
    std::shared_ptr<ZarnPUINotificationDao> uiNotificationDao_;
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    std::shared_ptr<ZarnPPublicLogging> publicLogDao_;
    std::weak_ptr<ZarnPMatchServiceProximityTriggeredDelegate> regionTriggeredDelegate_;
    std::shared_ptr<ZarnPFenceDao> fenceDao_;
    std::shared_ptr<ZarnPDeviceDataDao> deviceDataDao_;
    std::shared_ptr<ZarnPContextService> contextService_;
    std::shared_ptr<ZarnPGeofenceMatching> geofenceMatchingService_;
    std::shared_ptr<ZarnPBeaconMatching> beaconMatchingService_;
    std::shared_ptr<platform::NotificationCenter> center_;
    std::shared_ptr<ZarnPDwellingEnding> dwellings_;
    // The time of a disable whose dwellings could not be ended.
    std::optional<Date> unendedDwellingsAt_;
    std::shared_ptr<ZarnPSqLiteDb> db_;
    Mutex beaconLock_;
    std::vector<platform::Beacon> rangedBeacons_ ZARN_GUARDED_BY(beaconLock_);
    std::set<Uuid> exitedBeaconUuids_ ZARN_GUARDED_BY(beaconLock_);
    bool checkForBeaconExit_ ZARN_GUARDED_BY(beaconLock_) = false;
    bool performGeofenceMatchRun_ = false;
    bool performBeaconMatchRun_ = false;
};

}  // namespace zarn
