#pragma once
#include <memory>

#include "sim/AppLifecycle.h"
#include "sim/Clock.h"
#include "zarn/platform/TimeSource.h"

namespace zarn::sim {

// The one world that the facilities of a simulated device share: its clock and the
// application's life (state and background time). A facility that depends on shared state is
// built over the world and keeps it; one that does not (the battery, the bundles) is not.
//
// How a facility joins: write it as a class of its own in sim/, deriving from its platform
// interfaces and including only the public headers and sim/ (sim/Support.h holds the few helpers
// a facility needs), with its own lock when any thread may call it; give it the world in its
// constructor if it reads the clock or the application's life (and add it as an AppLifecycle
// observer to hear the background period). Device then constructs it over its world, gives it an
// accessor and fills its services in provide(). Shared state that several facilities read (the
// true position, next) joins the world itself the same way: a member built over the clock, with
// an accessor here.
class World {
  public:
    explicit World(std::shared_ptr<platform::TimeSource> time);
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    Clock& clock() { return *clock_; }
    AppLifecycle& lifecycle() { return *lifecycle_; }

  private:
    const std::shared_ptr<Clock> clock_;
    const std::shared_ptr<AppLifecycle> lifecycle_;
};

}  // namespace zarn::sim
