#pragma once
#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/Clock.h"
#include "zarn/platform/Application.h"

namespace zarn::sim {

// The application's life in the simulated world: active, inactive or background, and the
// background time. In the foreground the time left is unlimited; a background period grants an
// allowance that runs down with the clock, warns shortly before its end and then is up, through
// timers of the main run loop. Every facility that depends on it reads this one object, so a
// period begun through one facility is seen by all. Any thread.
class AppLifecycle : public std::enable_shared_from_this<AppLifecycle> {
  public:
    // Hears the background period. Called outside the lifecycle's lock: from the main run loop
    // for the period's own timers, on the calling thread for expireBackgroundTime.
    class Observer {
      public:
        virtual ~Observer() = default;
        // Background time is about to run out.
        virtual void backgroundTimeEnding() = 0;
        // Background time is up: a real system could now end the process.
        virtual void backgroundTimeUp() = 0;
    };

    // The time left that the foreground reports.
    static constexpr double kUnlimited = std::numeric_limits<double>::max();

    explicit AppLifecycle(std::shared_ptr<Clock> clock);
    ~AppLifecycle();
    AppLifecycle(const AppLifecycle&) = delete;
    AppLifecycle& operator=(const AppLifecycle&) = delete;

    // Held weakly: an observer that is gone is skipped.
    void addObserver(std::weak_ptr<Observer> observer);

    platform::ApplicationState state();
    // Going active ends a running period (time left is unlimited again).
    void setState(platform::ApplicationState state);

    // The fixed value set last, or, while a period runs, the time left until its end.
    double backgroundTimeRemaining();
    // A fixed answer; ends a running period.
    void setBackgroundTimeRemaining(double seconds);

    // The app goes to the background with `allowedSeconds`; the warning comes `warningSeconds`
    // before the end (at once when the allowance is shorter).
    void enterBackground(double allowedSeconds, double warningSeconds);
    // Background time runs out now: `secondsLeft` remain, the warning is given at once and the
    // time is up when they have passed. The state is left as it is.
    void expireBackgroundTime(double secondsLeft);

    // Whether a running period has reached its end.
    bool backgroundTimeIsUp();
    // Whether the running period's warning has been given.
    bool backgroundTimeEndingAnnounced();

  private:
    void endPeriodLocked();
    void startPeriodLocked(double seconds, std::optional<double> warnAfter);
    void warningDue(std::uint64_t period);
    void endDue(std::uint64_t period);
    std::vector<std::shared_ptr<Observer>> observers();

    const std::shared_ptr<Clock> clock_;
    std::mutex mutex_;
    platform::ApplicationState state_ = platform::ApplicationState::Active;
    double fixedRemaining_ = kUnlimited;
    std::uint64_t period_ = 0;        // counts periods, so a late timer of an ended one does nothing
    std::optional<double> deadline_;  // seconds since 1970 when the running period is up
    bool endingAnnounced_ = false;
    std::vector<std::shared_ptr<platform::Timer>> timers_;
    std::vector<std::weak_ptr<Observer>> observers_;
};

}  // namespace zarn::sim
