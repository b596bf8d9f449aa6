// The facade's start-up, enabling and app-state handling, with recording stand-ins for the
// services whose own behaviour comes later. Real SDK thread, virtual time, simulated device.
#include "entry/ZarnPZarnInterface.h"

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <type_traits>

#include "core/ZarnPContext.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "core/ZarnPZarnConfiguration.h"
#include "core/ZarnTriggerContext.h"
#include "device/ZarnPDelegateDataDao.h"
#include "device/ZarnPDeviceIdDao.h"
#include "device/ZarnPFileConfigDao.h"
#include "device/ZarnPKeyValueDao.h"
#include "device/ZarnPPushMessaging.h"
#include "device/ZarnPRemoteEventAndNotificationDao.h"
#include "device/ZarnPSystemBackgroundTaskDao.h"
#include "device/ZarnPSystemDeviceDataDao.h"
#include "device/ZarnPSystemPublicLogDao.h"
#include "device/ZarnPSystemSLCDao.h"
#include "device/ZarnPSystemUINotificationDao.h"
#include "services/ZarnPBeaconMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPFenceMatchService.h"
#include "services/ZarnPGeofenceMatching.h"
#include "services/ZarnPHeartbeatScheduling.h"
#include "services/ZarnPLandingPage.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPPhoneStateReporting.h"
#include "services/ZarnPScreenEventTracking.h"
#include "services/ZarnPSegmentationSetting.h"
#include "sim/Device.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteKeyValueDao.h"
#include "store/ZarnPSqLiteSentTriggerDao.h"
#include "tests/support/CmatchDoubles.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

// What the location update service was asked, with the contexts it was handed. Called on the
// SDK thread; `onEnable` lets a test look at the state at that moment. Like every stand-in
// here it implements the role the facade holds, not the service's class.
class RecordingLocationUpdates final : public ZarnPLocationUpdating {
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
class RecordingRemote final : public test::EventsOnlyRemote {
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

// The library's broadcasts in the order they were posted, with what was true at that moment.
class BroadcastLog {
  public:
    explicit BroadcastLog(std::shared_ptr<platform::NotificationCenter> center) : center_(std::move(center)) {
        center_->addObserver(this, "", [this](const platform::Broadcast& b) {
            if (b.name.rfind("Zarn_", 0) != 0)
                return;
            std::string extra = onPost ? onPost(b.name) : "";
            std::lock_guard lk(mutex_);
            names_.push_back(b.name + extra);
        });
    }
    ~BroadcastLog() { center_->removeObserver(this); }
    std::vector<std::string> names() {
        std::lock_guard lk(mutex_);
        return names_;
    }
    int count(const std::string& name) {
        auto all = names();
        return static_cast<int>(std::count(all.begin(), all.end(), name));
    }
    std::function<std::string(const std::string&)> onPost;

  private:
    std::shared_ptr<platform::NotificationCenter> center_;
    std::mutex mutex_;
    std::vector<std::string> names_;
};

class AppConfiguration final : public ZarnConfiguration {};

// The facade only holds the match-run dispatch.
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

class FacadeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db = std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/zarn.db"),
                                             zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        strings = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        keyValueDao = strings->keyValueDao();
        eventDao = std::make_shared<ZarnPSqLiteEventDao>(db);
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

    void TearDown() override {
        facade.reset();
        env.runUntilIdle();
    }

    std::shared_ptr<ZarnPZarnInterface> build() {
        auto deviceData =
            std::make_shared<ZarnPSystemDeviceDataDao>(keyValueDao, timerDao, platform::current());
        publicLog = std::make_shared<ZarnPSystemPublicLogDao>(
            clock, deviceData, std::make_shared<ZarnPDelegateDataDao>(delegate), env.fileSystem, env.time,
            [this] { return facade && facade->isEnabledWithoutWaiting(); });
        ZarnPZarnInterface::Collaborators c{
            eventService,
            keyValueDao,
            std::make_shared<ZarnPSystemUINotificationDao>(timerDao, env.device->localNotificationCenter(),
                                                           env.device->deviceInfo()),
            std::make_shared<ZarnPSqLiteContextualPageDao>(db, clock),
            std::make_shared<ZarnPSqLiteSentTriggerDao>(db),
            timerDao,
            publicLog,
            std::make_shared<NoMatchRuns>(),
            std::make_shared<test::NoLoadedNotifications>(),
            locationUpdates,
            std::make_shared<SilentPhoneState>(),
            heartbeat,
            std::make_shared<IgnoredSegmentationSetting>(),
            std::make_shared<ZarnPLandingPage>(env.device->windowSystem(), env.device->urlOpener(),
                                               env.device->deviceInfo()),
            std::make_shared<ZarnPFileConfigDao>(platform::current().libraryBundle,
                                                 platform::current().mainBundle,
                                                 platform::current().fileSystem),
            push,
            slc,
            contextService,
            clock,
            env.device->application(),
            center,
            configuration,
            std::make_shared<NoGeofenceMatching>(),
            std::make_shared<NoBeaconRuns>(),
            commonMatch,
            nullptr,
            std::make_shared<ZarnPDeviceIdDao>(uuid, keyValueDao),
            screenEvents,
            db,
            env.device->mainBundle(),
            nullptr,
            env.device->localNotificationCenter(),
            env.device->urlOpener(),
        };
        facade = ZarnPZarnInterface::create(c);
        return facade;
    }

    // Builds the facade and lets the first configuration run on both threads.
    void start() {
        build();
        env.runUntilIdle();
    }

    // The stores belong to the SDK thread: the test reads and writes them there (inline when it
    // already runs there).
    template <typename F>
    auto onSdk(F f) {
        using R = decltype(f());
        if constexpr (std::is_void_v<R>) {
            timerDao->invokeBlockOnRunLoop(f, true);
        } else {
            std::optional<R> result;
            timerDao->invokeBlockOnRunLoop([&] { result.emplace(f()); }, true);
            return std::move(*result);
        }
    }

    std::vector<std::shared_ptr<ZarnPEvent>> eventsOfType(unsigned type) {
        std::vector<std::shared_ptr<ZarnPEvent>> out;
        for (auto& e : onSdk([&] { return eventDao->getEvents(); }))
            if (e->eventType() == type)
                out.push_back(e);
        return out;
    }
    // A run ends when its context is released; with the public log on, that stores the log.
    bool contextReleased(const std::string& id) {
        for (auto& e : eventsOfType(ZarnPLogEventTypeDebuglogEntry))
            if (e->extra().value("context_id", "") == id)
                return true;
        return false;
    }
    std::optional<std::string> enableContextId() {
        auto events = eventsOfType(ZarnPLogEventTypeEnableService);
        if (events.empty())
            return std::nullopt;
        return events.back()->extra().value("context_id", "");
    }

    test::TestEnvironment env;
    std::shared_ptr<platform::NotificationCenter> center = platform::defaultCenter();
    BroadcastLog broadcasts{center};
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> strings;
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao;
    std::shared_ptr<ZarnPSqLiteEventDao> eventDao;
    std::shared_ptr<ZarnPSystemClockDao> clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    std::shared_ptr<ZarnPUuidGenerator> uuid = std::make_shared<ZarnPUuidGenerator>();
    std::shared_ptr<ZarnPSegmentationReading> segmentation = std::make_shared<test::FreshSegmentation>();
    std::shared_ptr<RecordingRemote> remote = std::make_shared<RecordingRemote>();
    std::shared_ptr<ZarnPEventService> eventService;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao = std::make_shared<ZarnPSystemTimerDao>(
        platform::timeSource(), platform::mainRunLoop(), platform::current().application);
    std::shared_ptr<ZarnPContextService> contextService = std::make_shared<ZarnPContextService>(clock);
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLog;
    std::shared_ptr<RecordingLocationUpdates> locationUpdates = std::make_shared<RecordingLocationUpdates>();
    std::shared_ptr<RecordingPushClient> push = std::make_shared<RecordingPushClient>();
    std::shared_ptr<RecordingHeartbeat> heartbeat = std::make_shared<RecordingHeartbeat>();
    std::shared_ptr<RecordingScreenEvents> screenEvents = std::make_shared<RecordingScreenEvents>();
    std::shared_ptr<ZarnPSystemSLCDao> slc;
    std::shared_ptr<test::DelegateOnlyCommonMatching> commonMatch =
        std::make_shared<test::DelegateOnlyCommonMatching>();
    std::shared_ptr<ZarnDelegate> delegate = std::make_shared<ZarnDelegate>();
    std::shared_ptr<ZarnPZarnConfiguration> configuration = std::make_shared<ZarnPZarnConfiguration>();
    std::shared_ptr<ZarnPZarnInterface> facade;
};

// --- First start

TEST_F(FacadeTest, FirstStartEnablesThenAnnouncesInitialisedBeforeEnabled) {
    start();
    EXPECT_EQ(broadcasts.names(), (std::vector<std::string>{"Zarn_Initialized", "Zarn_Enabled"}));
    EXPECT_TRUE(facade->isInitialized());
    EXPECT_TRUE(facade->isEnabled());
    EXPECT_TRUE(onSdk([&] { return keyValueDao->getBoolPropertyValueForKey("zarn_enabled"); }));
    EXPECT_EQ(heartbeat->starts.load(), 1);
    EXPECT_EQ(commonMatch->delegate(), facade);
    EXPECT_TRUE(env.consoleContains("INFO|ZarnInterface| Zarn enabled"));
}

TEST_F(FacadeTest, EnablingHasItsEffectsInOrderOnTheSdkThread) {
    // At the moment location updates are enabled the setting and the event are stored and
    // nothing has been announced; at "Zarn_Enabled" location updates are on.
    std::atomic<bool> onSdkThread{false}, storedFirst{false}, announcedEarly{true};
    locationUpdates->onEnable = [&] {
        onSdkThread = !platform::isMainThread();
        storedFirst = onSdk([&] { return keyValueDao->getBoolPropertyValueForKey("zarn_enabled"); }) &&
                      !eventsOfType(ZarnPLogEventTypeEnableService).empty();
        announcedEarly = broadcasts.count("Zarn_Enabled") > 0;
    };
    broadcasts.onPost = [&](const std::string& name) {
        return name == "Zarn_Enabled"
                   ? " after " + std::to_string(locationUpdates->count("enable")) + " enable"
                   : "";
    };
    start();
    EXPECT_TRUE(onSdkThread);
    EXPECT_TRUE(storedFirst);
    EXPECT_FALSE(announcedEarly);
    EXPECT_EQ(broadcasts.names().back(), "Zarn_Enabled after 1 enable");
}

TEST_F(FacadeTest, StoredDisabledOutweighsEnableOnFirstRun) {
    onSdk([&] { return keyValueDao->setBoolPropertyValue(false, "zarn_enabled"); });
    configuration->setEnableOnFirstRun(true);
    start();
    EXPECT_EQ(broadcasts.names(), (std::vector<std::string>{"Zarn_Initialized"}));
    EXPECT_TRUE(facade->isInitialized());
    EXPECT_FALSE(facade->isEnabled());
    EXPECT_TRUE(locationUpdates->calls().empty());
    EXPECT_FALSE(facade->hasUpdateTimer());
}

TEST_F(FacadeTest, WithoutAStoredSettingEnableOnFirstRunDecides) {
    configuration->setEnableOnFirstRun(false);
    start();
    EXPECT_FALSE(facade->isEnabled());
    EXPECT_FALSE(onSdk([&] { return keyValueDao->hasProperty("zarn_enabled"); }));
    EXPECT_EQ(broadcasts.names(), (std::vector<std::string>{"Zarn_Initialized"}));
}

TEST_F(FacadeTest, MissingOrEmptyTokenAppliesNothingAndLeavesTheFacadeUninitialised) {
    for (auto token : {std::optional<std::string>{}, std::optional<std::string>{""}}) {
        configuration->setPublicToken(token);
        configuration->setMaxRegionsMonitored(12);
        start();
        EXPECT_TRUE(env.consoleContains(
            "ERROR|ZarnInterface| Unable to initialize the Zarn plugin. No public token set."));
        EXPECT_FALSE(facade->isInitialized());
        EXPECT_FALSE(onSdk([&] { return keyValueDao->hasProperty("zarn_public_token"); }));
        EXPECT_FALSE(onSdk([&] { return keyValueDao->hasProperty("zarn_max_regions_monitored"); }));
        EXPECT_TRUE(broadcasts.names().empty());
        EXPECT_EQ(heartbeat->starts.load(), 0);
        facade.reset();
        env.console->clear();
    }
}

TEST_F(FacadeTest, IsEnabledWaitsBoundedWhenNeverInitialised) {
    configuration->setPublicToken(std::nullopt);
    start();
    auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(facade->isEnabled());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
}

// --- Applying the configuration

TEST(ConfigurationTest, PlainCreationGivesTheAcceptedKindWithItsDefaults) {
    auto plain = ZarnConfiguration::create();
    auto internal = std::dynamic_pointer_cast<ZarnPZarnConfiguration>(plain);
    ASSERT_TRUE(internal);
    EXPECT_FALSE(plain->publicToken());
    EXPECT_FALSE(plain->delegate());
    EXPECT_TRUE(plain->enableOnFirstRun());
    EXPECT_EQ(plain->maxRegionsMonitored(), 20);
    EXPECT_TRUE(plain->automaticallyAskLocationPermission());
    EXPECT_TRUE(plain->automaticallyAskNotificationPermission());
    EXPECT_FALSE(plain->provisionalNotificationPermission());
    EXPECT_FALSE(plain->quickSyncDisabled());
    EXPECT_TRUE(plain->enableBackgroundLocation());
    EXPECT_FALSE(internal->debugLaunch());
    EXPECT_FALSE(internal->useFileConfigLaunch());
    EXPECT_FALSE(internal->apnsSandbox());
    EXPECT_FALSE(internal->xamarinVersion());
}

struct RegionLimit {
    int requested;
    bool backgroundLocation;
    int stored;
};

class RegionLimitTest : public FacadeTest, public ::testing::WithParamInterface<RegionLimit> {};

TEST_P(RegionLimitTest, IsClampedToFiveToTwentyOrZeroWithoutBackgroundLocation) {
    configuration->setMaxRegionsMonitored(GetParam().requested);
    configuration->setEnableBackgroundLocation(GetParam().backgroundLocation);
    start();
    EXPECT_EQ(onSdk([&] { return keyValueDao->getIntPropertyValueForKey("zarn_max_regions_monitored"); }),
              GetParam().stored);
    EXPECT_EQ(slc->enableBackgroundLocation(), GetParam().backgroundLocation);
}

INSTANTIATE_TEST_SUITE_P(Limits, RegionLimitTest,
                         ::testing::Values(RegionLimit{3, true, 5}, RegionLimit{50, true, 20},
                                           RegionLimit{12, true, 12}, RegionLimit{5, true, 5},
                                           RegionLimit{20, true, 20}, RegionLimit{-7, true, 5},
                                           RegionLimit{12, false, 0}, RegionLimit{50, false, 0}));

TEST_F(FacadeTest, PermissionSwitchesAndXamarinVersionReachTheirStores) {
    configuration->setAutomaticallyAskLocationPermission(false);
    configuration->setAutomaticallyAskNotificationPermission(false);
    configuration->setProvisionalNotificationPermission(true);
    configuration->setXamarinVersion(std::string("4.2"));
    start();
    EXPECT_FALSE(slc->automaticallyAskLocationPermission());
    auto ui =
        std::dynamic_pointer_cast<ZarnPSystemUINotificationDao>(facade->collaborators().uiNotificationDao);
    ASSERT_TRUE(ui);
    EXPECT_FALSE(ui->automaticallyAskNotificationPermission());
    EXPECT_TRUE(ui->provisionalNotificationPermission());
    EXPECT_EQ(onSdk([&] { return keyValueDao->getPropertyValueForKey("zarn_xamarin_version"); }), "4.2");
}

TEST_F(FacadeTest, FirstTokenClearsAndRefreshesNothingAndTheSameTokenAgainNeither) {
    start();
    EXPECT_EQ(onSdk([&] { return keyValueDao->getPropertyValueForKey("zarn_public_token"); }), "token-1");
    facade->reinit(configuration);
    env.runUntilIdle();
    EXPECT_FALSE(env.consoleContains("Clearing current public token"));
    std::lock_guard lk(push->mutex);
    EXPECT_EQ(push->refreshes, 0);
}

TEST_F(FacadeTest, ChangedTokenSendsTheOldTokensEventsUnderTheOldTokenThenRefreshesPush) {
    start();
    size_t waiting = static_cast<size_t>(onSdk([&] { return eventDao->getEventCount(); }));
    ASSERT_GT(waiting, 0u);  // the enabling event at least
    auto next = std::make_shared<ZarnPZarnConfiguration>();
    next->setPublicToken(std::string("token-2"));
    facade->reinit(next);
    env.runUntilIdle();
    EXPECT_TRUE(env.consoleContains("DEBUG|ZarnInterface| Clearing current public token"));
    EXPECT_EQ(onSdk([&] { return keyValueDao->getPropertyValueForKey("zarn_public_token"); }), "token-2");
    {
        std::lock_guard lk(remote->mutex);
        ASSERT_EQ(remote->uploads.size(), 1u);
        EXPECT_EQ(remote->uploads[0].first, "token-1");
        EXPECT_EQ(remote->uploads[0].second, waiting);
    }
    EXPECT_EQ(onSdk([&] { return eventDao->getEventCount(); }),
              0);  // nothing of the old token is left to go out later
    std::lock_guard lk(push->mutex);
    EXPECT_EQ(push->refreshes, 1);
}

TEST_F(FacadeTest, ReinitialisingAppliesSettingsButDoesNotEnableOrAnnounceAgain) {
    start();
    auto next = std::make_shared<ZarnPZarnConfiguration>();
    next->setPublicToken(std::string("token-1"));
    next->setMaxRegionsMonitored(7);
    facade->reinit(next);
    env.runUntilIdle();
    EXPECT_EQ(onSdk([&] { return keyValueDao->getIntPropertyValueForKey("zarn_max_regions_monitored"); }), 7);
    EXPECT_EQ(broadcasts.count("Zarn_Initialized"), 1);
    EXPECT_EQ(broadcasts.count("Zarn_Enabled"), 1);
    EXPECT_EQ(heartbeat->starts.load(), 1);
}

// --- The app's configuration callback

TEST_F(FacadeTest, ConfigurationCallbackRunsOnTheMainThreadAndItsAnswerIsApplied) {
    std::atomic<bool> onMain{false};
    delegate->zarnLoadConfig = [&](std::shared_ptr<ZarnConfiguration> offered,
                                   std::function<void(std::shared_ptr<ZarnConfiguration>)> load) {
        onMain = platform::isMainThread();
        offered->setMaxRegionsMonitored(9);
        offered->setDelegate(std::make_shared<ZarnDelegate>());  // replaced by the offered one's
        load(offered);
    };
    start();
    EXPECT_TRUE(onMain);
    EXPECT_EQ(onSdk([&] { return keyValueDao->getIntPropertyValueForKey("zarn_max_regions_monitored"); }), 9);
    EXPECT_EQ(configuration->delegate(), delegate);
    EXPECT_EQ(broadcasts.names(), (std::vector<std::string>{"Zarn_Initialized", "Zarn_Enabled"}));
}

TEST_F(FacadeTest, ConfigurationCallbackAnsweringTwiceIsAppliedOnce) {
    delegate->zarnLoadConfig = [](std::shared_ptr<ZarnConfiguration> offered,
                                  std::function<void(std::shared_ptr<ZarnConfiguration>)> load) {
        load(offered);
        load(offered);
    };
    start();
    EXPECT_EQ(env.consoleCount("ERROR|ZarnInterface| loadWithConfig may only be called once."), 1);
    EXPECT_EQ(broadcasts.count("Zarn_Initialized"), 1);
    EXPECT_EQ(eventsOfType(ZarnPLogEventTypeEnableService).size(), 1u);
}

TEST_F(FacadeTest, ConfigurationCallbackAnsweringWithAnotherClassIsRefused) {
    delegate->zarnLoadConfig = [](std::shared_ptr<ZarnConfiguration>,
                                  std::function<void(std::shared_ptr<ZarnConfiguration>)> load) {
        auto other = std::make_shared<AppConfiguration>();
        other->setPublicToken(std::string("token-x"));
        load(other);
    };
    start();
    EXPECT_TRUE(env.consoleContains("ERROR|ZarnInterface| Subclassing ZarnConfiguration isn't supported."));
    EXPECT_FALSE(facade->isInitialized());
    EXPECT_FALSE(onSdk([&] { return keyValueDao->hasProperty("zarn_public_token"); }));
    EXPECT_TRUE(broadcasts.names().empty());
}

TEST_F(FacadeTest, ConfigurationCallbackThatNeverAnswersLeavesTheFacadeUninitialised) {
    delegate->zarnLoadConfig = [](std::shared_ptr<ZarnConfiguration>,
                                  std::function<void(std::shared_ptr<ZarnConfiguration>)>) {};
    start();
    env.advanceBy(120);
    EXPECT_FALSE(facade->isInitialized());
    EXPECT_TRUE(broadcasts.names().empty());
}

TEST_F(FacadeTest, FileConfigurationIsReadBeforeTheAppsCallbackAndAMalformedFileIsIgnored) {
    std::string path = env.path("bundle/zarnconfig.json");
    ASSERT_TRUE(
        env.fileSystem->createFile(path, R"({"publicToken": "file-token", "maxRegionsMonitored": 8})"));
    env.device->mainBundle()->setResourcePath("zarnconfig.json", path);
    configuration->setUseFileConfigLaunch(true);
    configuration->setPublicToken(std::nullopt);
    std::optional<std::string> seen;
    delegate->zarnLoadConfig = [&](std::shared_ptr<ZarnConfiguration> offered,
                                   std::function<void(std::shared_ptr<ZarnConfiguration>)> load) {
        seen = offered->publicToken();
        load(offered);
    };
    start();
    EXPECT_EQ(seen, "file-token");
    EXPECT_EQ(onSdk([&] { return keyValueDao->getPropertyValueForKey("zarn_public_token"); }), "file-token");
    EXPECT_EQ(onSdk([&] { return keyValueDao->getIntPropertyValueForKey("zarn_max_regions_monitored"); }), 8);
    facade.reset();

    ASSERT_TRUE(env.fileSystem->createFile(path, "{\"publicToken\": "));
    configuration = std::make_shared<ZarnPZarnConfiguration>();
    configuration->setUseFileConfigLaunch(true);
    configuration->setPublicToken(std::string("token-1"));
    delegate->zarnLoadConfig = nullptr;
    broadcasts.onPost = nullptr;
    start();
    EXPECT_TRUE(facade->isInitialized());
    EXPECT_EQ(onSdk([&] { return keyValueDao->getIntPropertyValueForKey("zarn_max_regions_monitored"); }),
              20);
}

// --- Enabling, disabling and the update timer

TEST_F(FacadeTest, ActiveEnabledAppRunsAnUpdateAtOnceAndEverySixtySeconds) {
    start();
    EXPECT_TRUE(facade->hasUpdateTimer());
    auto contexts = locationUpdates->updateContexts();
    ASSERT_EQ(contexts.size(), 1u);
    EXPECT_EQ(contexts[0]->uuidString(), enableContextId());  // the enabling run goes on in the update
    env.advanceBy(59);
    EXPECT_EQ(locationUpdates->count("update"), 1);
    env.advanceBy(1);
    EXPECT_EQ(locationUpdates->count("update"), 2);
    env.advanceBy(120);
    EXPECT_EQ(locationUpdates->count("update"), 4);
    contexts = locationUpdates->updateContexts();
    EXPECT_EQ(contexts[1]->triggerContext(), ZarnTriggerContextForeground);
    EXPECT_NE(contexts[1], contexts[2]);  // every timed run has its own context
    EXPECT_EQ(env.consoleCount("DEBUG|ZarnInterface| Checking for update..."), 4);
}

TEST_F(FacadeTest, ResigningActiveStopsTheTimerAndBecomingActiveTwiceStartsOne) {
    start();
    env.device->application()->resignActive();
    env.runUntilIdle();
    EXPECT_FALSE(facade->hasUpdateTimer());
    EXPECT_EQ(broadcasts.names().back(), "Zarn_Will_Resign_Active");
    env.advanceBy(300);
    EXPECT_EQ(locationUpdates->count("update"), 1);

    env.device->application()->becomeActive();
    env.device->application()->becomeActive();
    env.runUntilIdle();
    EXPECT_EQ(locationUpdates->count("update"), 3);  // two immediate updates
    env.advanceBy(60);
    EXPECT_EQ(locationUpdates->count("update"), 4);  // but one timer
}

TEST_F(FacadeTest, EnablingInTheBackgroundStartsNoTimerAndReleasesTheContext) {
    configuration->setDebugLaunch(true);  // the public log collects the run's lines
    env.device->application()->setApplicationState(platform::ApplicationState::Background);
    start();
    EXPECT_TRUE(facade->isEnabled());
    EXPECT_FALSE(facade->hasUpdateTimer());
    EXPECT_EQ(locationUpdates->count("update"), 0);
    {
        std::lock_guard lk(screenEvents->mutex);
        EXPECT_EQ(screenEvents->registrations, std::vector<bool>{false});
    }
    auto id = enableContextId();
    ASSERT_TRUE(id);
    EXPECT_TRUE(contextReleased(*id));
}

TEST_F(FacadeTest, WithoutBackgroundLocationBecomingActiveStartsNoTimerAndReleasesTheContext) {
    configuration->setDebugLaunch(true);
    configuration->setEnableBackgroundLocation(false);
    start();
    EXPECT_TRUE(facade->isEnabled());
    EXPECT_FALSE(facade->hasUpdateTimer());
    EXPECT_EQ(locationUpdates->count("update"), 0);
    auto id = enableContextId();
    ASSERT_TRUE(id);
    EXPECT_TRUE(contextReleased(*id));  // nothing took the enabling run over, so it ended here

    env.device->application()->becomeActive();
    env.advanceBy(120);
    EXPECT_EQ(locationUpdates->count("update"), 0);
}

TEST_F(FacadeTest, DisablingStopsUpdatesAndReEnablingStartsThemAgain) {
    start();
    facade->disable();
    env.runUntilIdle();
    EXPECT_FALSE(facade->isEnabled());
    EXPECT_FALSE(facade->hasUpdateTimer());
    EXPECT_FALSE(onSdk([&] { return keyValueDao->getBoolPropertyValueForKey("zarn_enabled", true); }));
    EXPECT_EQ(broadcasts.names().back(), "Zarn_Disabled");
    EXPECT_EQ(eventsOfType(ZarnPLogEventTypeDisableService).size(), 1u);
    env.advanceBy(180);
    EXPECT_EQ(locationUpdates->count("update"), 1);
    EXPECT_EQ(locationUpdates->count("disable"), 1);

    facade->enable();
    env.runUntilIdle();
    EXPECT_TRUE(facade->hasUpdateTimer());
    EXPECT_EQ(locationUpdates->count("update"), 2);
    env.advanceBy(60);
    EXPECT_EQ(locationUpdates->count("update"), 3);
    std::lock_guard lk(push->mutex);
    EXPECT_EQ(push->loads.size(), 2u);  // push is loaded on every enabling
}

TEST_F(FacadeTest, BecomingActiveWhileDisabledDoesNothing) {
    onSdk([&] { return keyValueDao->setBoolPropertyValue(false, "zarn_enabled"); });
    start();
    env.device->application()->becomeActive();
    env.advanceBy(120);
    EXPECT_TRUE(locationUpdates->calls().empty());
    EXPECT_FALSE(facade->hasUpdateTimer());
}

TEST_F(FacadeTest, CooldownPeriodIsStoredAndNeverNegative) {
    start();
    facade->setCooldownPeriod(-5);
    env.runUntilIdle();
    EXPECT_EQ(onSdk([&] { return keyValueDao->getIntPropertyValueForKey("zarn_cooldown_period"); }), 0);
    EXPECT_TRUE(onSdk([&] { return keyValueDao->hasProperty("zarn_cooldown_period"); }));
    facade->setCooldownPeriod(300);
    env.runUntilIdle();
    EXPECT_EQ(onSdk([&] { return keyValueDao->getIntPropertyValueForKey("zarn_cooldown_period"); }), 300);
}

// --- Construction

TEST_F(FacadeTest, PublicDebugLogIsOnForDebugLaunchesAndForAppsNamedAfterTheLibrary) {
    build();
    EXPECT_FALSE(publicLog->enabled());
    EXPECT_FALSE(facade->apnsSandbox());
    facade.reset();

    env.device->mainBundle()->setInfoValue("CFBundleDisplayName", Value("My ZaRn Demo"));
    build();
    EXPECT_TRUE(publicLog->enabled());
    EXPECT_FALSE(facade->isDebugEnabled());
    facade.reset();

    env.device->mainBundle()->setInfoValue("CFBundleDisplayName", Value("Tram times"));
    configuration->setDebugLaunch(true);
    build();
    EXPECT_TRUE(publicLog->enabled());
    EXPECT_TRUE(facade->apnsSandbox());  // a debug launch uses the push sandbox
}

TEST_F(FacadeTest, MissingRequiredCollaboratorStopsTheBuild) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    build();
    auto c = facade->collaborators();
    c.deviceIdDao = nullptr;
    EXPECT_DEATH(ZarnPZarnInterface::create(c), "");  // the line goes to the recording console
    c = facade->collaborators();
    c.externalRegionService = nullptr;  // the one optional collaborator
    c.configuration = nullptr;
    EXPECT_NO_THROW(ZarnPZarnInterface::create(c));
}

TEST_F(FacadeTest, ReleasedFacadeStopsObservingTheCentre) {
    build();
    size_t observing = center->observerCount();
    facade.reset();
    env.runUntilIdle();
    EXPECT_EQ(center->observerCount(), observing - 6);
    env.device->application()->becomeActive();  // reaches nobody
    env.runUntilIdle();
    EXPECT_TRUE(locationUpdates->calls().empty());
}

// The three push pass-throughs go straight to the push role on the app's thread: the stand-in
// answers the fetch before the call returns, with no hop in between.
TEST_F(FacadeTest, PushPassThroughsReachThePushRoleOnTheCallersThread) {
    start();
    facade->didRegisterForRemoteNotificationsWithDeviceToken("a1b2");
    facade->didFailToRegisterForRemoteNotificationsWithError(Error{"APNS", 3, "no"});
    std::optional<BackgroundFetchResult> fetched;
    facade->didReceiveRemoteNotification(Value{{"k", 1}}, [&](BackgroundFetchResult r) { fetched = r; });
    EXPECT_EQ(fetched, BackgroundFetchResult::NewData);
    std::lock_guard lk(push->mutex);
    EXPECT_EQ(push->passThroughs,
              (std::vector<std::string>{"register a1b2", "fail APNS", "receive {\"k\":1}"}));
}

}  // namespace
}  // namespace zarn
