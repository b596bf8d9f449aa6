#pragma once
// Where the simulated device really is: set directly or replayed from a route on virtual time.
// Every method is safe from any thread; listeners run on the thread that moved the position
// (the caller of set, or the main thread for a route), without any lock of this object held.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/Route.h"
#include "zarn/platform/LocationFix.h"
#include "zarn/platform/RunLoop.h"

namespace zarn::sim {

class TruePosition : public std::enable_shared_from_this<TruePosition> {
  public:
    using Listener = std::function<void(const std::optional<platform::LocationCoordinate2D>&)>;

    explicit TruePosition(std::shared_ptr<platform::TimeSource> time);
    ~TruePosition();
    TruePosition(const TruePosition&) = delete;
    TruePosition& operator=(const TruePosition&) = delete;

    // Nothing until a position is set or a route starts.
    std::optional<platform::LocationCoordinate2D> current();
    // Moves the device at once; stops a running route.
    void set(platform::LocationCoordinate2D coordinate);
    // The device position is not known any more (no fix can be had).
    void clear();

    // Replays `route` from now: the position moves to the route's point every `stepSeconds`
    // of virtual time (a timer of the main run loop) and stays at its end.
    void follow(Route route, double stepSeconds = 1.0);
    void stopRoute();
    bool followsRoute();

    void addListener(Listener listener);

  private:
    void step();
    void moveTo(std::optional<platform::LocationCoordinate2D> coordinate);

    std::shared_ptr<platform::TimeSource> time_;
    std::mutex mutex_;
    std::optional<platform::LocationCoordinate2D> current_;
    std::vector<Listener> listeners_;
    Route route_;
    Date routeStart_{};
    std::shared_ptr<platform::Timer> routeTimer_;
};

}  // namespace zarn::sim
