#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "zarn/platform/BeaconProximity.h"
#include "zarn/platform/LocationFix.h"

namespace zarn::platform {

// Where the device stands relative to a region, as the platform determines it.
enum class RegionState : int { Unknown = 0, Inside = 1, Outside = 2 };

// A region the platform can monitor: a circle around a point (a geofence) or the reach of the
// beacons of one proximity UUID. A plain value, copied freely between threads. The identifier
// is the region's key: monitoring a region whose identifier is already monitored replaces it.
struct Region {
    enum class Kind : int { Circular = 0, Beacon = 1 };

    Kind kind = Kind::Circular;
    std::string identifier;
    bool notifyOnEntry = true;
    bool notifyOnExit = true;

    // Circular regions.
    LocationCoordinate2D center{};
    double radius = 0;  // metres

    // Beacon regions: the UUID, and optionally the major and minor the region is narrowed to.
    ProximityUuid proximityUuid{};
    std::optional<std::uint16_t> major;
    std::optional<std::uint16_t> minor;
    // Whether the platform reports the region's state when the user turns the display on.
    bool notifyEntryStateOnDisplay = false;

    static Region circular(LocationCoordinate2D center, double radius, std::string identifier) {
        Region r;
        r.kind = Kind::Circular;
        r.center = center;
        r.radius = radius;
        r.identifier = std::move(identifier);
        return r;
    }
    static Region beacon(const ProximityUuid& uuid, std::string identifier) {
        Region r;
        r.kind = Kind::Beacon;
        r.proximityUuid = uuid;
        r.identifier = std::move(identifier);
        return r;
    }

    bool isBeacon() const { return kind == Kind::Beacon; }
    bool operator==(const Region&) const = default;
};

}  // namespace zarn::platform
