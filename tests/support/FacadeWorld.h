#pragma once
// A facade's world on the simulated device: real stores on a database of its own, the real event
// service, contexts, public log, local notifications, landing page and configuration file, and
// recording or silent stand-ins for the services whose own behaviour is tested elsewhere. parts()
// gives each road of a facade its collaborators from them; a test swaps those it records. Real
// SDK thread, virtual time.
#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/ZarnPContext.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "core/ZarnPZarnConfiguration.h"
#include "device/push/ZarnPPushMessaging.h"
#include "device/system/ZarnPDelegateDataDao.h"
#include "device/system/ZarnPFileConfigDao.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "device/system/ZarnPSystemDeviceDataDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "device/system/ZarnPSystemSLCDao.h"
#include "device/system/ZarnPSystemUINotificationDao.h"
#include "entry/ZarnPZarnInterface.h"
#include "services/ZarnPBeaconMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPGeofenceMatching.h"
#include "services/ZarnPHeartbeatScheduling.h"
#include "services/ZarnPLandingPage.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPMatchRunDispatching.h"
#include "services/ZarnPPhoneStateReporting.h"
#include "services/ZarnPScreenEventTracking.h"
#include "services/ZarnPSegmentationSetting.h"
#include "sim/Device.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteSentTriggerDao.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/support/CmatchDoubles.h"
#include "tests/support/SdkThread.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/ZarnDelegate.h"

namespace zarn::test {
// What the location update service was asked, with the contexts it was handed. Called on the
// SDK thread; `onEnable` lets a test look at the state at that moment. Like every stand-in
// here it implements the role the facade holds, not the service's class.
class LocationUpdateCalls final : public ZarnPLocationUpdating {
  public:
    void enable() override {
        if (onEnable)
            onEnable();
        record("enable", nullptr);
    }
    void disable() override { record("disable", nullptr); }
    void performFullUpdate(std::shared_ptr<ZarnPContext> context) override {
        record("update", std::move(context));
    }
    void performFullUpdateOrLogCurrentLocationWithContext(std::shared_ptr<ZarnPContext> context) override {
        record("updateOrLog", std::move(context));
    }
    void clearData() override { record("clearData", nullptr); }

    std::vector<std::string> calls() {
        std::lock_guard lk(mutex_);
        return calls_;
    }
    std::vector<std::shared_ptr<ZarnPContext>> updateContexts() {
        std::lock_guard lk(mutex_);
        return contexts_;
    }
    int count(const std::string& call) {
        auto all = calls();
        return static_cast<int>(std::count(all.begin(), all.end(), call));
    }
    std::function<void()> onEnable;

  private:
    void record(const std::string& call, std::shared_ptr<ZarnPContext> context) {
        std::lock_guard lk(mutex_);
        calls_.push_back(call);
        if (context)
            contexts_.push_back(std::move(context));
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<std::shared_ptr<ZarnPContext>> contexts_;
};

class RecordingPushClient final : public ZarnPPushMessaging {
  public:
    void loadGcmWithApnsSandbox(bool apnsSandbox, bool) override {
        std::lock_guard lk(mutex);
        loads.push_back(apnsSandbox);
    }
    void refreshTokens() override {
        std::lock_guard lk(mutex);
        ++refreshes;
    }
    void didRegisterForRemoteNotificationsWithDeviceToken(const std::string& token) override {
        std::lock_guard lk(mutex);
        passThroughs.push_back("register " + token);
    }
    void didFailToRegisterForRemoteNotificationsWithError(const Error& error) override {
        std::lock_guard lk(mutex);
        passThroughs.push_back("fail " + error.domain);
    }
    void didReceiveRemoteNotification(Value userInfo,
                                      std::function<void(BackgroundFetchResult)> completion) override {
        {
            std::lock_guard lk(mutex);
            passThroughs.push_back("receive " + userInfo.dump());
        }
        completion(BackgroundFetchResult::NewData);
    }
    std::mutex mutex;
    std::vector<bool> loads;
    int refreshes = 0;
    std::vector<std::string> passThroughs;
};

class RecordingHeartbeat final : public ZarnPHeartbeatScheduling {
  public:
    void startTimer() override { ++starts; }
    std::atomic<int> starts{0};
};

// The phone-state reports are not the facade's business here.
class SilentPhoneState final : public ZarnPPhoneStateReporting {
  public:
    void clearData() override {}
    std::string getAppInformation() override { return {}; }
};

// The facade's changes to segmentation are not its business here.
class IgnoredSegmentationSetting final : public ZarnPSegmentationSetting {
  public:
    void setValue(const std::string&, const std::string&, const std::shared_ptr<ZarnPContext>&) override {}
    void setAdvertisingIdentifier(const std::optional<std::string>&, bool) override {}
    void clearData() override {}
};

class RecordingScreenEvents final : public ZarnPScreenEventTracking {
  public:
    void registerHandlers(bool isInForeground) override {
        std::lock_guard lk(mutex);
        registrations.push_back(isInForeground);
    }
    std::mutex mutex;
    std::vector<bool> registrations;
};

// Uploads as the service would receive them: the events and the token they went out under.
class RecordingRemote final : public EventsOnlyRemote {
  public:
    void storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events, const std::string& publicToken,
                     const std::optional<std::string>&, std::optional<bool>, const Value&,
                     std::shared_ptr<ZarnPStoreEventsDelegate>) override {
        std::lock_guard lk(mutex);
        uploads.push_back({publicToken, events.size()});
    }
    std::mutex mutex;
    std::vector<std::pair<std::string, size_t>> uploads;
};

// Geofence matching that matches nothing: the facade only holds it here.
struct NoGeofenceMatching final : ZarnPGeofenceMatching {
    void checkForSentDwellingGeofences(const std::shared_ptr<ZarnPContext>&) override {}
    void checkForGeofenceMatches(const std::shared_ptr<ZarnPBackgroundTask>&,
                                 const std::shared_ptr<ZarnPContext>&,
                                 const std::shared_ptr<ZarnPLocationWithAccuracy>&) override {}
};

// Beacon runs that match nothing: the facade only holds the role.
struct NoBeaconRuns : ZarnPBeaconMatching {
    void checkForSentDwellingBeacons(const std::shared_ptr<ZarnPContext>&) override {}
    void checkForBeaconMatches(const std::vector<platform::Beacon>&, bool,
                               const std::shared_ptr<ZarnPBackgroundTask>&,
                               const std::shared_ptr<ZarnPContext>&,
                               const std::shared_ptr<ZarnPLocationWithAccuracy>&) override {}
    void checkForBeaconExited(const std::set<Uuid>&, const std::shared_ptr<ZarnPLocationWithAccuracy>&,
                              const std::shared_ptr<ZarnPContext>&,
                              const std::shared_ptr<ZarnPBackgroundTask>&) override {}
};

struct NoMatchRuns : ZarnPMatchRunDispatching {
    void locationAcquired(const std::shared_ptr<ZarnPLocationWithAccuracy>&,
                          const std::shared_ptr<ZarnPBackgroundTask>&,
                          const std::shared_ptr<ZarnPContext>&) override {}
    void setPerformGeofenceMatchRun(bool) override {}
    bool performGeofenceMatchRun() const override { return false; }
    bool isBeaconSupported() override { return false; }
    bool isRegionExitSupported() override { return false; }
    void setRegionTriggeredDelegate(std::weak_ptr<ZarnPMatchServiceProximityTriggeredDelegate>) override {}
    void clearData() override {}
};

class FacadeWorld {
  public:
    FacadeWorld() {
        db = std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/zarn.db"),
                                             zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        strings = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        keyValueDao = strings->keyValueDao();
        eventDao = std::make_shared<ZarnPSqLiteEventDao>(db);
        sentTriggerDao = std::make_shared<ZarnPSqLiteSentTriggerDao>(db);
        slc = std::make_shared<ZarnPSystemSLCDao>(
            timerDao, clock,
            std::make_shared<ZarnPSystemBackgroundTaskDao>(timerDao, env.device->backgroundTasks(),
                                                           env.device->application()),
            contextService, env.location, env.device->locationAuthorization());
        eventService =
            ZarnPEventService::create(eventDao, keyValueDao, uuid, segmentation, remote, clock, center);
        contextService->setEventService(eventService);
        contextService->setTimerDao(timerDao);
        configuration->setPublicToken(std::string("token-1"));
        configuration->setDelegate(delegate);
    }

    // Each road given its collaborators from this world. The public log and the local
    // notifications are built anew, the public log reading the facade's enabled flag from
    // `facadeEnabled`.
    ZarnPZarnInterface::Parts parts(std::function<bool()> facadeEnabled) {
        auto deviceData =
            std::make_shared<ZarnPSystemDeviceDataDao>(keyValueDao, timerDao, platform::current());
        publicLog = std::make_shared<ZarnPSystemPublicLogDao>(
            clock, deviceData, std::make_shared<ZarnPDelegateDataDao>(delegate), env.fileSystem, env.time,
            std::move(facadeEnabled));
        uiNotifications = std::make_shared<ZarnPSystemUINotificationDao>(
            timerDao, env.device->localNotificationCenter(), env.device->deviceInfo());
        auto contextualPages = std::make_shared<ZarnPSqLiteContextualPageDao>(db, clock);
        auto landingPage = std::make_shared<ZarnPLandingPage>(
            env.device->windowSystem(), env.device->urlOpener(), env.device->deviceInfo());
        return {
            .timerDao = timerDao,
            .notificationCenter = center,
            .enabling = {.keyValueDao = keyValueDao,
                         .eventService = eventService,
                         .timerDao = timerDao,
                         .publicLogDao = publicLog,
                         .locationUpdateService = locationUpdates,
                         .gcmClient = push,
                         .contextService = contextService,
                         .application = env.device->application(),
                         .screenEventsService = screenEvents,
                         .db = db},
            .operations = {.contextService = contextService,
                           .segmentationService = std::make_shared<IgnoredSegmentationSetting>(),
                           .publicLogDao = publicLog,
                           .notificationService = std::make_shared<NoLoadedNotifications>(),
                           .uiNotificationDao = uiNotifications,
                           .sentTriggerDao = sentTriggerDao,
                           .locationUpdateService = locationUpdates,
                           .eventService = eventService,
                           .phoneStateService = std::make_shared<SilentPhoneState>(),
                           .matchService = std::make_shared<NoMatchRuns>(),
                           .db = db,
                           .gcmClient = push,
                           .externalRegionService = nullptr,
                           .debugLogMailer = nullptr},
            .contextualPage = {.contextualPageDao = contextualPages,
                               .contextService = contextService,
                               .eventService = eventService,
                               .clockDao = clock,
                               .timerDao = timerDao,
                               .notificationCenter = center},
            .configuration = {.keyValueDao = keyValueDao,
                              .fileConfigDao = std::make_shared<ZarnPFileConfigDao>(
                                  platform::current().libraryBundle, platform::current().mainBundle,
                                  platform::current().fileSystem),
                              .eventService = eventService,
                              .gcmClient = push,
                              .slcDao = slc,
                              .uiNotificationDao = uiNotifications,
                              .heartbeatService = heartbeat,
                              .deviceIdDao = std::make_shared<ZarnPDeviceIdDao>(uuid, keyValueDao),
                              .db = db,
                              .publicLogDao = publicLog,
                              .mainBundle = env.device->mainBundle()},
            .offering = {.commonMatchService = commonMatch,
                         .publicLogDao = publicLog,
                         .uiNotificationDao = uiNotifications,
                         .notificationCenter = center},
            .tap = {.contextService = contextService,
                    .geofenceMatchService = std::make_shared<NoGeofenceMatching>(),
                    .beaconMatchService = std::make_shared<NoBeaconRuns>(),
                    .locationUpdateService = locationUpdates,
                    .eventService = eventService,
                    .publicLogDao = publicLog,
                    .sentTriggerDao = sentTriggerDao,
                    .clockDao = clock,
                    .uiNotificationDao = uiNotifications,
                    .landingPage = landingPage,
                    .localNotificationCenter = env.device->localNotificationCenter(),
                    .urlOpener = env.device->urlOpener()},
        };
    }

    // The stores belong to the SDK thread: the test reads and writes them there (inline when it
    // already runs there).
    template <typename F>
    auto onSdk(F f) {
        return onSdkThread(timerDao, std::move(f));
    }

    TestEnvironment env;
    std::shared_ptr<platform::NotificationCenter> center = platform::defaultCenter();
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> strings;
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao;
    std::shared_ptr<ZarnPSqLiteEventDao> eventDao;
    std::shared_ptr<ZarnPSqLiteSentTriggerDao> sentTriggerDao;
    std::shared_ptr<ZarnPSystemClockDao> clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    std::shared_ptr<ZarnPUuidGenerator> uuid = std::make_shared<ZarnPUuidGenerator>();
    std::shared_ptr<ZarnPSegmentationReading> segmentation = std::make_shared<FreshSegmentation>();
    std::shared_ptr<RecordingRemote> remote = std::make_shared<RecordingRemote>();
    std::shared_ptr<ZarnPEventService> eventService;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao = std::make_shared<ZarnPSystemTimerDao>(
        platform::timeSource(), platform::mainRunLoop(), platform::current().application);
    std::shared_ptr<ZarnPContextService> contextService = std::make_shared<ZarnPContextService>(clock);
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLog;             // of the last parts()
    std::shared_ptr<ZarnPSystemUINotificationDao> uiNotifications;  // of the last parts()
    std::shared_ptr<LocationUpdateCalls> locationUpdates = std::make_shared<LocationUpdateCalls>();
    std::shared_ptr<RecordingPushClient> push = std::make_shared<RecordingPushClient>();
    std::shared_ptr<RecordingHeartbeat> heartbeat = std::make_shared<RecordingHeartbeat>();
    std::shared_ptr<RecordingScreenEvents> screenEvents = std::make_shared<RecordingScreenEvents>();
    std::shared_ptr<ZarnPSystemSLCDao> slc;
    std::shared_ptr<DelegateOnlyCommonMatching> commonMatch = std::make_shared<DelegateOnlyCommonMatching>();
    std::shared_ptr<ZarnDelegate> delegate = std::make_shared<ZarnDelegate>();
    std::shared_ptr<ZarnPZarnConfiguration> configuration = std::make_shared<ZarnPZarnConfiguration>();
};

}  // namespace zarn::test
