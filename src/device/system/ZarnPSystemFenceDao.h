#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Uuid.h"
#include "core/ZarnPSequenceChecker.h"
#include "device/system/ZarnPBeaconRangingDao.h"
#include "device/system/ZarnPFenceDao.h"
#include "zarn/platform/LocationManager.h"

namespace zarn {

namespace platform {
class Timer;
}

class ZarnPBackgroundTaskDao;
class ZarnPContext;
class ZarnPContextStarting;
class ZarnPFenceDaoDelegate;
class ZarnPKeyValueDao;
class ZarnPObjectWithContextWrapper;
class ZarnPSystemTimerDao;

// Region monitoring and beacon ranging over the platform. Keeps the app-wide set of monitored
// regions in step with the geofences and beacon UUIDs the matching wants watched, touching only
// regions whose identifier begins with "zarn-"; reports entries and exits to its delegate; on a
// beacon-region entry ranges three passes (or until 5 s after the first pass, or 5 s without
// any pass) and hands over the closest sighting of each beacon once. Every ranging ends exactly
// once and releases its background task. SDK thread only: the manager is made there by
// getReady (or the first operation), so the platform calls back there too.
class ZarnPSystemFenceDao final : public ZarnPFenceDao,
                                  public platform::LocationManagerDelegate,
                                  public std::enable_shared_from_this<ZarnPSystemFenceDao> {
  public:
    static constexpr const char* kGeofencePrefix = "zarn-";
    static constexpr const char* kBeaconPrefix = "zarn-ibeacon";
    static constexpr size_t kMaxMonitoredRegions = 20;
    static constexpr double kRangingExpirySeconds = 5.0;
    static constexpr double kCoordinateTolerance = 0.001;

    // `locationManager` may be null (made on first use); every other collaborator but the
    // settings store (kept, never read) is required.
    ZarnPSystemFenceDao(std::shared_ptr<platform::LocationManager> locationManager,
                        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                        std::shared_ptr<ZarnPKeyValueDao> keyValueDao,
                        std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                        std::shared_ptr<ZarnPContextStarting> contextService,
                        std::shared_ptr<platform::LocationManagerFactory> locationManagerFactory,
                        std::shared_ptr<platform::LocationAuthorization> locationAuthorization);
    ~ZarnPSystemFenceDao() override;

    // Held strongly.
    void setDelegate(std::shared_ptr<ZarnPFenceDaoDelegate> delegate);

    // ZarnPFenceDao
    void replaceNotifications(
        const std::vector<ZarnPGeofence>& geofences,
        const std::optional<std::vector<std::string>>& beaconProximityIdentifiers) override;
    void monitorGeofenceNotifications(const std::vector<ZarnPGeofence>& geofences) override;
    void replaceBeaconNotifications(const std::vector<std::string>& beaconUuids) override;
    void removeAllFences() override;
    void getReady() override;
    bool isBeaconSupported() override;
    bool isRegionExitSupported() override;

    // The region that monitors `geofence` ("zarn-" + short id); nothing without a short id or
    // a location. The radius is capped at the platform maximum, then an exit margin is added.
    std::optional<platform::Region> notificationToRegion(const ZarnPGeofence& geofence);
    // "zarn-" + the id; nothing for no id.
    static std::optional<std::string> prefixIdentifier(const std::optional<std::string>& identifier);
    static bool isBeaconRegion(const std::string& identifier);
    static bool isGeofenceRegion(const std::string& identifier);
    // Strings of 32 hexadecimal digits once the dashes are removed; others are skipped.
    static std::vector<Uuid> convertToUuids(const std::vector<std::string>& strings);

    const ZarnPBeaconRangingDao& rangingDao() const { return zarnBeaconRangingDao_; }
    const std::shared_ptr<platform::LocationManager>& locationManager() const { return locationManager_; }
    // The ranging timers' callback.
    void rangingHasExpired(const ZarnPObjectWithContextWrapper& userInfo);

    // platform::LocationManagerDelegate
    void locationManagerDidEnterRegion(const platform::Region& region) override;
    void locationManagerDidExitRegion(const platform::Region& region) override;
    void locationManagerDidDetermineState(platform::RegionState state,
                                          const platform::Region& region) override;
    void locationManagerMonitoringDidFail(const std::optional<platform::Region>& region,
                                          const Error& error) override;
    void locationManagerDidRangeBeacons(const std::vector<platform::Beacon>& beacons,
                                        const platform::Region& region) override;
    void locationManagerRangingBeaconsDidFail(const platform::Region& region, const Error& error) override;

  private:
    void loadLocationManager();
    bool matches(const platform::Region& monitored, const ZarnPGeofence& geofence);
    void removeObsoleteGeofences(const std::vector<ZarnPGeofence>& geofences);
    void addGeofences(const std::vector<ZarnPGeofence>& geofences);
    void removeObsoleteBeacons(const std::optional<std::vector<Uuid>>& uuids);
    void addBeacons(const std::vector<Uuid>& uuids);
    void startRanging(const platform::Region& region);
    void stopRanging(const platform::Region& region);
    void finishRangingAndProcessBeacons(const platform::Region& region,
                                        const std::shared_ptr<ZarnPContext>& zarnContext);
    std::shared_ptr<platform::Timer> scheduleExpiry(const platform::Region& region,
                                                    std::shared_ptr<ZarnPContext> zarnContext);

    ZarnPSequenceChecker sequence_;
    std::shared_ptr<platform::LocationManager> locationManager_;
    bool managerWired_ = false;
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao_;
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao_;
    ZarnPBeaconRangingDao zarnBeaconRangingDao_;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    std::shared_ptr<ZarnPContextStarting> contextService_;
    std::shared_ptr<ZarnPFenceDaoDelegate> delegate_;
    std::shared_ptr<platform::LocationManagerFactory> locationManagerFactory_;
    bool fencesAvailable_ = false;
};

}  // namespace zarn
