#pragma once
#include <memory>

#include "sim/World.h"
#include "zarn/platform/Application.h"

namespace zarn::sim {

// The running application as the simulated system sees it: a view of the world's application
// life, which the test drives through it. It keeps no state of its own, so another facility
// built over the same world (a test's subclass that changes one answer) shares every period.
class SimApplication : public platform::Application {
  public:
    explicit SimApplication(std::shared_ptr<World> world);

    platform::ApplicationState applicationState() override;
    // The fixed value set last, or, while a background period runs, the time left until its end.
    double backgroundTimeRemaining() override;

    // Going active ends a running background period (time left is unlimited again).
    void setApplicationState(platform::ApplicationState state);
    // A fixed answer; ends a running background period.
    void setBackgroundTimeRemaining(double seconds);
    // What the system does when the user switches apps, on the main thread: the app goes active
    // and "did become active" is posted on the default centre; or "will resign active" is
    // posted and the app then is in the background.
    void becomeActive();
    void resignActive();
    // The whole switch, on the main thread: "will enter foreground", then becomeActive(); or
    // resignActive(), then "did enter background".
    void enterForeground();
    void enterBackgroundFromForeground();

    // Puts the app in the background with `allowedSeconds` of background time, which then runs
    // down with (virtual) time. `warningSeconds` before the end the expiration handlers of the
    // running background tasks are called on the main thread; tasks still running at the end are
    // marked overdue. Works through timers of the main run loop.
    void enterBackground(double allowedSeconds, double warningSeconds = 5.0);
    // Background time runs out now: `secondsLeft` remain, and the expiration handler of every
    // running task is queued on the main run loop (run it with advanceBy or runUntilIdle). Tasks
    // still running when the time is up are marked overdue.
    void expireBackgroundTime(double secondsLeft);

    const std::shared_ptr<World>& world() const { return world_; }

  private:
    const std::shared_ptr<World> world_;
};

}  // namespace zarn::sim
