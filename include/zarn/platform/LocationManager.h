#pragma once
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "zarn/Error.h"
#include "zarn/platform/BeaconProximity.h"
#include "zarn/platform/LocationAuthorization.h"
#include "zarn/platform/LocationFix.h"
#include "zarn/platform/Region.h"

namespace zarn::platform {

// The domain of the errors that the location facility reports, and its codes.
inline constexpr std::string_view kLocationErrorDomain = "kCLErrorDomain";
enum LocationErrorCode : long {
    kLocationErrorLocationUnknown = 0,
    kLocationErrorDenied = 1,
    kLocationErrorRegionMonitoringDenied = 4,
    // A region could not be monitored: the app monitors too many, or its radius is too large.
    kLocationErrorRegionMonitoringFailure = 5,
    kLocationErrorRangingUnavailable = 16,
    kLocationErrorRangingFailure = 17,
};

// What a location manager tells its owner. Every callback arrives on the thread that runs the
// run loop on which the manager was created, never inside a call into the manager, and never
// after the manager is gone. Each has an empty default, so a delegate implements only what it
// uses.
class LocationManagerDelegate {
  public:
    virtual ~LocationManagerDelegate() = default;
    LocationManagerDelegate() = default;
    LocationManagerDelegate(const LocationManagerDelegate&) = delete;
    LocationManagerDelegate& operator=(const LocationManagerDelegate&) = delete;

    // New fixes, oldest first, from standard updates or significant changes. Never empty.
    virtual void locationManagerDidUpdateLocations(const std::vector<LocationFix>&) {}
    // No fix could be had for now (domain kLocationErrorDomain); updates keep running.
    virtual void locationManagerDidFailWithError(const Error&) {}
    virtual void locationManagerDidPauseLocationUpdates() {}
    virtual void locationManagerDidResumeLocationUpdates() {}
    virtual void locationManagerDidChangeAuthorization(LocationAuthorizationStatus) {}

    // The device crossed a monitored region's border. Entries come only for regions that notify
    // on entry, exits only for those that notify on exit. Every manager of the app hears them.
    virtual void locationManagerDidEnterRegion(const Region&) {}
    virtual void locationManagerDidExitRegion(const Region&) {}
    // The answer to requestState.
    virtual void locationManagerDidDetermineState(RegionState, const Region&) {}
    // A region could not be monitored; `region` is absent when the platform cannot tell which.
    virtual void locationManagerMonitoringDidFail(const std::optional<Region>&, const Error&) {}

    // One ranging pass over a beacon region: the beacons in reach, nearest first (possibly none).
    virtual void locationManagerDidRangeBeacons(const std::vector<Beacon>&, const Region&) {}
    virtual void locationManagerRangingBeaconsDidFail(const Region&, const Error&) {}
};

// One client of the location facility. Create it through LocationManagerFactory and call it
// only from the thread that created it. Calls never block and never call the delegate inline;
// failures arrive as delegate callbacks. Dropping the last reference stops its updates and
// ranging; monitored regions are the app's and stay monitored.
class LocationManager {
  public:
    virtual ~LocationManager() = default;
    LocationManager() = default;
    LocationManager(const LocationManager&) = delete;
    LocationManager& operator=(const LocationManager&) = delete;

    // Held weakly: a delegate that is gone hears nothing.
    virtual void setDelegate(std::weak_ptr<LocationManagerDelegate> delegate) = 0;

    // Standard updates: a fix whenever the device moved more than the distance filter (metres;
    // 0 or less: every fix), aiming at the desired accuracy (metres).
    virtual void setDistanceFilter(double metres) = 0;
    virtual double distanceFilter() = 0;
    virtual void setDesiredAccuracy(double metres) = 0;
    virtual double desiredAccuracy() = 0;
    virtual void setPausesLocationUpdatesAutomatically(bool pauses) = 0;
    virtual bool pausesLocationUpdatesAutomatically() = 0;
    virtual void startUpdatingLocation() = 0;
    virtual void stopUpdatingLocation() = 0;

    // Significant changes: a fix after each large move, also waking an app in the background.
    virtual void startMonitoringSignificantLocationChanges() = 0;
    virtual void stopMonitoringSignificantLocationChanges() = 0;

    // Whether this system has the two authorisation requests below.
    virtual bool respondsToAuthorizationRequests() = 0;
    // Ask the user, once per app, for location access; the answer comes as
    // locationManagerDidChangeAuthorization.
    virtual void requestAlwaysAuthorization() = 0;
    virtual void requestWhenInUseAuthorization() = 0;

    // Region monitoring over the app-wide set of monitored regions (at most 20, shared by every
    // manager of the app and surviving them). A region that cannot be monitored is reported
    // through locationManagerMonitoringDidFail with kLocationErrorRegionMonitoringFailure.
    virtual void startMonitoringForRegion(const Region& region) = 0;
    // Stops the monitored region with the region's identifier; unknown identifiers are ignored.
    virtual void stopMonitoringForRegion(const Region& region) = 0;
    // Every region the app monitors, of this library and of others, in no particular order.
    virtual std::vector<Region> monitoredRegions() = 0;
    // Asks for the region's state; answered through locationManagerDidDetermineState.
    virtual void requestStateForRegion(const Region& region) = 0;
    // The largest radius a circular region may have, in metres. Read each time the library makes
    // a campaign's region: a larger match range is cut to it (one INFO line, "Match range (...)
    // larger than supported"). A region that also notifies on exit is then made larger by its
    // exit margin (a tenth of the radius, kept within 50 and 250 m), so a facility that refuses
    // larger radii answers its own limit less 250 m. One without a limit of its own may answer a
    // large value: the simulated device answers 200,000 (200 km).
    virtual double maximumRegionMonitoringDistance() = 0;

    // Beacon ranging: a pass about every second until stopped.
    virtual void startRangingBeaconsInRegion(const Region& region) = 0;
    virtual void stopRangingBeaconsInRegion(const Region& region) = 0;
    // The beacon regions this manager ranges.
    virtual std::vector<Region> rangedRegions() = 0;
};

// Makes location managers and answers what the facility can do. Any thread.
//
// The library makes several managers, all on its own SDK thread (which runs a RunLoop): one for
// region monitoring and beacon ranging when it is enabled, one for one-shot fixes at its first
// request, and one for significant changes each time those are switched on. So a manager keeps
// the loop of the thread that created it (RunLoop::current()->shared_from_this(), or
// RunLoop::main() where current() is null) and posts every callback there. Monitored regions
// belong to the app, not to a manager: every manager hears every entry and exit of every
// monitored region, including those an earlier manager, or an earlier run of the app, started.
class LocationManagerFactory {
  public:
    virtual ~LocationManagerFactory() = default;
    LocationManagerFactory() = default;
    LocationManagerFactory(const LocationManagerFactory&) = delete;
    LocationManagerFactory& operator=(const LocationManagerFactory&) = delete;

    // A new manager whose callbacks arrive on the calling thread's run loop (the main loop for
    // a thread without one), posted there and never inside a call. Never null.
    virtual std::shared_ptr<LocationManager> createLocationManager() = 0;
    // Whether beacons can be ranged; nothing on a system without the query.
    virtual std::optional<bool> isRangingAvailable() = 0;
    // Whether regions have the notify-on-exit switch (true on every current system).
    virtual bool regionsHaveNotifyOnExit() = 0;
};

}  // namespace zarn::platform
