#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "device/system/ZarnPSignificantChangeMonitoring.h"
#include "zarn/platform/LocationManager.h"

namespace zarn {

namespace platform {
class Timer;
}

class ZarnPBackgroundTask;
class ZarnPBackgroundTaskDao;
class ZarnPClockDao;
class ZarnPContextStarting;
class ZarnPSLCDaoDelegate;
class ZarnPSystemTimerDao;

// Keeps the platform's significant-change service running while the library is enabled (asking
// for location permission on the way, as configured) and, when the system wakes the app with
// new positions, collects them for 2 s under a background task and hands the best one to the
// delegate with a context of trigger type "slc". Without background location the service is
// never started. SDK thread only: the manager is made there by enable().
class ZarnPSystemSLCDao final : public ZarnPSignificantChangeMonitoring,
                                public platform::LocationManagerDelegate,
                                public std::enable_shared_from_this<ZarnPSystemSLCDao> {
  public:
    static constexpr double kCollectSeconds = 2.0;
    static constexpr double kMaxAgeSeconds = 30.0;

    // Every collaborator is required.
    ZarnPSystemSLCDao(std::shared_ptr<ZarnPSystemTimerDao> timerDao, std::shared_ptr<ZarnPClockDao> clockDao,
                      std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                      std::shared_ptr<ZarnPContextStarting> contextService,
                      std::shared_ptr<platform::LocationManagerFactory> locationManagerFactory,
                      std::shared_ptr<platform::LocationAuthorization> locationAuthorization);
    ~ZarnPSystemSLCDao() override;

    void enable();
    // Stops the service and drops the manager; a later enable makes a new one.
    void disable();

    // Set by the facade from the configuration (any thread before enable; read by enable).
    void setEnableBackgroundLocation(bool v) override { enableBackgroundLocation_ = v; }
    void setAutomaticallyAskLocationPermission(bool v) override { automaticallyAskLocationPermission_ = v; }
    bool enableBackgroundLocation() const override { return enableBackgroundLocation_; }
    bool automaticallyAskLocationPermission() const override { return automaticallyAskLocationPermission_; }

    // Held strongly.
    void setDelegate(std::shared_ptr<ZarnPSLCDaoDelegate> delegate);
    const std::shared_ptr<platform::LocationManager>& locationManager() const { return locationManager_; }
    bool isCollecting() const { return collectTimer_ != nullptr; }

    // The collection timer's callback.
    void completeCollect();

    // platform::LocationManagerDelegate
    void locationManagerDidUpdateLocations(const std::vector<platform::LocationFix>& locations) override;
    void locationManagerDidFailWithError(const Error& error) override;
    void locationManagerDidPauseLocationUpdates() override;
    void locationManagerDidResumeLocationUpdates() override;

  private:
    ZarnPSequenceChecker sequence_;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao_;
    std::shared_ptr<platform::LocationManager> locationManager_;
    std::shared_ptr<platform::Timer> collectTimer_;
    std::optional<platform::LocationFix> bestLocation_;
    std::shared_ptr<ZarnPContextStarting> contextService_;
    std::shared_ptr<ZarnPSLCDaoDelegate> delegate_;
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask_;
    std::shared_ptr<platform::LocationManagerFactory> locationManagerFactory_;
    std::shared_ptr<platform::LocationAuthorization> locationAuthorization_;
    bool automaticallyAskLocationPermission_ = true;
    bool enableBackgroundLocation_ = true;
};

}  // namespace zarn
