#include "sim/Route.h"

#include <fstream>
#include <sstream>

namespace zarn::sim {

Route::Route(std::vector<Waypoint> waypoints) : waypoints_(std::move(waypoints)) {}

std::optional<Route> Route::parse(std::string_view text, std::string* error) {
    std::vector<Waypoint> points;
    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& why) -> std::optional<Route> {
        if (error)
            *error = "line " + std::to_string(number) + ": " + why;
        return std::nullopt;
    };
    while (std::getline(in, line)) {
        ++number;
        auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        std::istringstream fields(line);
        fields.imbue(std::locale::classic());
        Waypoint w;
        std::string rest;
        if (!(fields >> w.seconds >> w.coordinate.latitude >> w.coordinate.longitude))
            return fail("expected <seconds> <latitude> <longitude>");
        if (fields >> rest && rest[0] != '#')
            return fail("unexpected text after the longitude");
        if (!w.coordinate.isValid())
            return fail("invalid coordinate");
        if (!points.empty() && w.seconds < points.back().seconds)
            return fail("time goes back");
        points.push_back(w);
    }
    return Route(std::move(points));
}

std::optional<Route> Route::load(const std::string& path, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        if (error)
            *error = "cannot read " + path;
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str(), error);
}

std::optional<platform::LocationCoordinate2D> Route::positionAt(double seconds) const {
    if (waypoints_.empty())
        return std::nullopt;
    if (seconds <= waypoints_.front().seconds)
        return waypoints_.front().coordinate;
    for (size_t i = 1; i < waypoints_.size(); ++i) {
        const Waypoint& b = waypoints_[i];
        if (seconds > b.seconds)
            continue;
        const Waypoint& a = waypoints_[i - 1];
        double span = b.seconds - a.seconds;
        double f = span > 0 ? (seconds - a.seconds) / span : 1.0;
        return platform::LocationCoordinate2D{
            a.coordinate.latitude + (b.coordinate.latitude - a.coordinate.latitude) * f,
            a.coordinate.longitude + (b.coordinate.longitude - a.coordinate.longitude) * f};
    }
    return waypoints_.back().coordinate;
}

double Route::duration() const {
    return waypoints_.empty() ? 0.0 : waypoints_.back().seconds - waypoints_.front().seconds;
}

}  // namespace zarn::sim
