#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "zarn/platform/LocationManager.h"

namespace zarn {

namespace platform {
class Timer;
}

class ZarnPClockDao;
class ZarnPContext;
class ZarnPLocationDaoDelegate;
class ZarnPLocationManagerCreator;
class ZarnPSystemTimerDao;

// One-shot location requests: a short burst of standard updates whose best fix goes to the
// delegate, once per accepted request. A request runs 5 s (8 s for a full update) or until a
// fix better than 100 m comes, then waits 0.2 s for stragglers with updates off. A request made
// while one runs is refused and gets no answer of its own. SDK thread only: the manager is made
// there on the first request, so its callbacks arrive there too.
class ZarnPSystemLocationDao final : public platform::LocationManagerDelegate,
                                     public std::enable_shared_from_this<ZarnPSystemLocationDao> {
  public:
    static constexpr double kShortWindowSeconds = 5.0;
    static constexpr double kLongWindowSeconds = 8.0;
    static constexpr double kCompleteDelaySeconds = 0.2;
    static constexpr double kEarlyStopAccuracyMeters = 100.0;
    static constexpr double kMaxAgeSeconds = 30.0;

    // The timer and clock DAOs are required.
    ZarnPSystemLocationDao(std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                           std::shared_ptr<ZarnPClockDao> clockDao,
                           std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator);
    ~ZarnPSystemLocationDao() override;

    // Starts one collection: `fullUpdate` chooses the 8 s window, otherwise 5 s.
    void requestLocation(bool fullUpdate, std::shared_ptr<ZarnPContext> zarnContext);

    // Held strongly.
    void setDelegate(std::shared_ptr<ZarnPLocationDaoDelegate> delegate);
    const std::shared_ptr<ZarnPLocationDaoDelegate>& delegate() const { return delegate_; }
    void setLocationManager(std::shared_ptr<platform::LocationManager> manager);
    const std::shared_ptr<platform::LocationManager>& locationManager() const { return locationManager_; }
    const std::shared_ptr<ZarnPContext>& currentContext() const { return currentContext_; }
    // Whether a request runs (its window or its 0.2 s tail).
    bool isCollecting() const { return collectTimer_ != nullptr; }

    // The timers' callbacks.
    void requestLocationStop();
    void requestLocationComplete();

    // platform::LocationManagerDelegate
    void locationManagerDidUpdateLocations(const std::vector<platform::LocationFix>& locations) override;
    void locationManagerDidFailWithError(const Error& error) override;
    void locationManagerDidPauseLocationUpdates() override;
    void locationManagerDidResumeLocationUpdates() override;

  private:
    std::shared_ptr<platform::Timer> schedule(double seconds, void (ZarnPSystemLocationDao::*selector)());

    ZarnPSequenceChecker sequence_;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    std::shared_ptr<ZarnPClockDao> clockDao_;
    std::shared_ptr<ZarnPContext> currentContext_;
    std::shared_ptr<ZarnPLocationManagerCreator> locationManagerCreator_;
    std::shared_ptr<platform::LocationManager> locationManager_;
    std::shared_ptr<platform::Timer> collectTimer_;
    std::optional<platform::LocationFix> bestLocation_;
    std::shared_ptr<ZarnPLocationDaoDelegate> delegate_;
};

}  // namespace zarn
