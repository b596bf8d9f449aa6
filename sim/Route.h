#pragma once
// A walk or drive of the simulated device: timed waypoints, replayed with linear interpolation.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zarn/platform/LocationFix.h"

namespace zarn::sim {

struct Waypoint {
    double seconds = 0;  // from the start of the route
    platform::LocationCoordinate2D coordinate{};
};

class Route {
  public:
    Route() = default;
    // Waypoints in time order (equal times allowed: a jump).
    explicit Route(std::vector<Waypoint> waypoints);

    // One waypoint a line, "<seconds> <latitude> <longitude>"; blank lines and lines starting
    // with '#' are skipped. Times must not go back and coordinates must be valid. On failure
    // answers nothing and says why (with the line number) in `error`.
    static std::optional<Route> parse(std::string_view text, std::string* error = nullptr);
    static std::optional<Route> load(const std::string& path, std::string* error = nullptr);

    // The position `seconds` after the start: interpolated between the waypoints around it, the
    // first before the start and the last after the end. An empty route has no position.
    std::optional<platform::LocationCoordinate2D> positionAt(double seconds) const;
    double duration() const;
    bool empty() const { return waypoints_.empty(); }
    const std::vector<Waypoint>& waypoints() const { return waypoints_; }

  private:
    std::vector<Waypoint> waypoints_;
};

}  // namespace zarn::sim
