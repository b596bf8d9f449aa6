#pragma once
#include <memory>

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;
class ZarnPLocationWithAccuracy;
class ZarnPMatchServiceProximityTriggeredDelegate;

// The match-run dispatch as the facade and the location update service hold it. SDK thread only.
class ZarnPMatchRunDispatching {
  public:
    virtual ~ZarnPMatchRunDispatching() = default;
    // The fix of a run is in: runs the match runs that are due.
    virtual void locationAcquired(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                                  const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                  const std::shared_ptr<ZarnPContext>& context) = 0;
    virtual void setPerformGeofenceMatchRun(bool perform) = 0;
    virtual bool performGeofenceMatchRun() const = 0;
    virtual bool isBeaconSupported() = 0;
    virtual bool isRegionExitSupported() = 0;
    // Held weakly: the location update service holds the dispatch.
    virtual void setRegionTriggeredDelegate(
        std::weak_ptr<ZarnPMatchServiceProximityTriggeredDelegate> delegate) = 0;
    // Cancels the scheduled local notifications (all data cleared).
    virtual void clearData() = 0;
};

}  // namespace zarn
