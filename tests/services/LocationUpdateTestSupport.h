#pragma once
// Stand-ins for the services around the location update service and the match-run dispatch:
// each records what it was asked, in order, with the virtual time of the call.
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Format.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "services/ZarnPBeaconMatching.h"
#include "services/ZarnPEventLogging.h"
#include "services/ZarnPGeofenceMatching.h"
#include "services/ZarnPMatchRunDispatching.h"
#include "services/ZarnPMatchServiceProximityTriggeredDelegate.h"
#include "services/ZarnPNotificationLoading.h"
#include "services/ZarnPNotificationServiceDelegate.h"
#include "zarn/Value.h"

namespace zarn::test {

// The data-update step: answered at once, or held until the test calls finish().
class RecordingNotificationService final : public ZarnPNotificationLoading {
  public:
    struct Request {
        std::shared_ptr<ZarnPLocationWithAccuracy> location;
        bool inForeground = false;
        std::shared_ptr<ZarnPContext> context;
    };
    void storeEventsAndUpdateNotificationsForLocation(
        const std::shared_ptr<ZarnPLocationWithAccuracy>& location, bool inForeground, bool, bool,
        const std::shared_ptr<ZarnPContext>& context) override {
        requests.push_back({location, inForeground, context});
        if (answerAtOnce)
            finish();
    }
    void finish() {
        if (auto d = delegate.lock())
            d->locationNotificationServiceUpdatedNotifications(requests.empty() ? nullptr
                                                                                : requests.back().context);
    }
    void deleteNotifications() override {}
    void clearData() override { ++cleared; }
    void setDelegate(std::weak_ptr<ZarnPNotificationServiceDelegate> d) override { delegate = std::move(d); }

    bool answerAtOnce = true;
    std::vector<Request> requests;
    int cleared = 0;
    std::weak_ptr<ZarnPNotificationServiceDelegate> delegate;
};

class RecordingMatchDispatch final : public ZarnPMatchRunDispatching {
  public:
    void locationAcquired(const std::shared_ptr<ZarnPLocationWithAccuracy>& location,
                          const std::shared_ptr<ZarnPBackgroundTask>& task,
                          const std::shared_ptr<ZarnPContext>& context) override {
        runs.push_back({location, task ? task->identifier() : 0, context, geofenceFlag});
        geofenceFlag = false;
    }
    void setPerformGeofenceMatchRun(bool perform) override { geofenceFlag = perform; }
    bool performGeofenceMatchRun() const override { return geofenceFlag; }
    bool isBeaconSupported() override { return true; }
    bool isRegionExitSupported() override { return true; }
    void setRegionTriggeredDelegate(std::weak_ptr<ZarnPMatchServiceProximityTriggeredDelegate> d) override {
        delegate = std::move(d);
    }
    void clearData() override {}

    struct Run {
        std::shared_ptr<ZarnPLocationWithAccuracy> location;
        platform::BackgroundTaskIdentifier task = 0;
        std::shared_ptr<ZarnPContext> context;
        bool geofence = false;
    };
    std::vector<Run> runs;
    bool geofenceFlag = false;
    std::weak_ptr<ZarnPMatchServiceProximityTriggeredDelegate> delegate;
};

class RecordingEvents final : public ZarnPEventLogging {
  public:
    struct Event {
        unsigned type;
        Value extra;
        std::shared_ptr<ZarnPContext> context;
    };
    void logEventWithType(unsigned type, const Value& extra,
                          const std::shared_ptr<ZarnPContext>& context) override {
        events.push_back({type, extra, context});
    }
    std::vector<Event> events;
};

// The matching services behind the dispatch; a step can be made to raise.
class RecordingMatching final : public ZarnPGeofenceMatching, public ZarnPBeaconMatching {
  public:
    void checkForSentDwellingGeofences(const std::shared_ptr<ZarnPContext>&) override {
        calls.push_back("dwellGeofences");
    }
    void checkForGeofenceMatches(const std::shared_ptr<ZarnPBackgroundTask>&,
                                 const std::shared_ptr<ZarnPContext>&,
                                 const std::shared_ptr<ZarnPLocationWithAccuracy>&) override {
        calls.push_back("geofences");
    }
    void checkForSentDwellingBeacons(const std::shared_ptr<ZarnPContext>&) override {
        calls.push_back("dwellBeacons");
    }
    void checkForBeaconMatches(const std::vector<platform::Beacon>& beacons, bool inForeground,
                               const std::shared_ptr<ZarnPBackgroundTask>&,
                               const std::shared_ptr<ZarnPContext>&,
                               const std::shared_ptr<ZarnPLocationWithAccuracy>&) override {
        calls.push_back(format("beacons:%@:%@", beacons.size(), inForeground ? "fg" : "bg"));
        if (duringBeacons)
            duringBeacons();
        if (failBeacons)
            throw std::runtime_error("beacon store gone");
    }
    void checkForBeaconExited(const std::set<Uuid>& uuids, const std::shared_ptr<ZarnPLocationWithAccuracy>&,
                              const std::shared_ptr<ZarnPContext>&,
                              const std::shared_ptr<ZarnPBackgroundTask>&) override {
        calls.push_back(format("exits:%@", uuids.size()));
        if (duringExits)
            duringExits();
        if (failExits)
            throw std::runtime_error("exit check failed");
    }
    bool failBeacons = false;
    bool failExits = false;
    // Run inside the beacon run and the exit check: what a region wrapper may report meanwhile.
    std::function<void()> duringBeacons;
    std::function<void()> duringExits;
    std::vector<std::string> calls;
};

}  // namespace zarn::test
