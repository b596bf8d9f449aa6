// The facade's start-up, enabling and app-state handling, with recording stand-ins for the
// services whose own behaviour comes later. Real SDK thread, virtual time, simulated device.
#include "entry/ZarnPZarnInterface.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <optional>
#include <type_traits>

#include "core/ZarnPContext.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnTriggerContext.h"
#include "tests/support/CaseNames.h"
#include "tests/support/FacadeWorld.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {
namespace {

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

class FacadeTest : public ::testing::Test, public test::FacadeWorld {
  protected:
    void TearDown() override {
        facade.reset();
        env.runUntilIdle();
    }

    std::shared_ptr<ZarnPZarnInterface> build() {
        facade = ZarnPZarnInterface::create(
            parts([this] { return facade && facade->isEnabledWithoutWaiting(); }), configuration);
        return facade;
    }

    // Builds the facade and lets the first configuration run on both threads.
    void start() {
        build();
        env.runUntilIdle();
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
    // The first configurations applied, each announced once.
    int initialisations() { return broadcasts.count("Zarn_Initialized"); }
    // The facade's update timers started, as the timer wrapper logs each.
    int updateTimersStarted() {
        return env.consoleCount("Scheduled timer for: ZarnPZarnInterface, interval: 60.0");
    }
    // The facade's update timer, told by its runs: an update within the next minute.
    bool updatesEveryMinute() {
        int before = locationUpdates->count("update");
        env.advanceBy(60);
        return locationUpdates->count("update") > before;
    }

    BroadcastLog broadcasts{center};
    std::shared_ptr<ZarnPZarnInterface> facade;
};

// --- First start

TEST_F(FacadeTest, FirstStartEnablesThenAnnouncesInitialisedBeforeEnabled) {
    start();
    EXPECT_EQ(broadcasts.names(), (std::vector<std::string>{"Zarn_Initialized", "Zarn_Enabled"}));
    EXPECT_EQ(initialisations(), 1);
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
    EXPECT_EQ(initialisations(), 1);
    EXPECT_FALSE(facade->isEnabled());
    EXPECT_TRUE(locationUpdates->calls().empty());
    EXPECT_EQ(updateTimersStarted(), 0);
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
        EXPECT_EQ(initialisations(), 0);
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
                                           RegionLimit{12, false, 0}, RegionLimit{50, false, 0}),
                         [](const auto& info) {
                             return test::caseName(
                                 "Ask", info.param.requested,
                                 info.param.backgroundLocation ? "WithBackground" : "WithoutBackground");
                         });

TEST_F(FacadeTest, PermissionSwitchesAndXamarinVersionReachTheirStores) {
    configuration->setAutomaticallyAskLocationPermission(false);
    configuration->setAutomaticallyAskNotificationPermission(false);
    configuration->setProvisionalNotificationPermission(true);
    configuration->setXamarinVersion(std::string("4.2"));
    start();
    EXPECT_FALSE(slc->automaticallyAskLocationPermission());
    auto& ui = uiNotifications;
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
    EXPECT_EQ(initialisations(), 0);
    EXPECT_FALSE(onSdk([&] { return keyValueDao->hasProperty("zarn_public_token"); }));
    EXPECT_TRUE(broadcasts.names().empty());
}

TEST_F(FacadeTest, ConfigurationCallbackThatNeverAnswersLeavesTheFacadeUninitialised) {
    delegate->zarnLoadConfig = [](std::shared_ptr<ZarnConfiguration>,
                                  std::function<void(std::shared_ptr<ZarnConfiguration>)>) {};
    start();
    env.advanceBy(120);
    EXPECT_EQ(initialisations(), 0);
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
    EXPECT_EQ(initialisations(), 2);  // the first start's and this one's
    EXPECT_EQ(onSdk([&] { return keyValueDao->getIntPropertyValueForKey("zarn_max_regions_monitored"); }),
              20);
}

// --- Enabling, disabling and the update timer

TEST_F(FacadeTest, ActiveEnabledAppRunsAnUpdateAtOnceAndEverySixtySeconds) {
    start();
    EXPECT_EQ(updateTimersStarted(), 1);
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
    EXPECT_FALSE(updatesEveryMinute());
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
    EXPECT_EQ(updateTimersStarted(), 0);
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
    EXPECT_EQ(updateTimersStarted(), 0);
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
    EXPECT_FALSE(updatesEveryMinute());
    EXPECT_FALSE(onSdk([&] { return keyValueDao->getBoolPropertyValueForKey("zarn_enabled", true); }));
    EXPECT_EQ(broadcasts.names().back(), "Zarn_Disabled");
    EXPECT_EQ(eventsOfType(ZarnPLogEventTypeDisableService).size(), 1u);
    env.advanceBy(180);
    EXPECT_EQ(locationUpdates->count("update"), 1);
    EXPECT_EQ(locationUpdates->count("disable"), 1);

    facade->enable();
    env.runUntilIdle();
    EXPECT_EQ(updateTimersStarted(), 2);  // a timer of its own for the new enabling
    EXPECT_EQ(locationUpdates->count("update"), 2);
    env.advanceBy(60);
    EXPECT_EQ(locationUpdates->count("update"), 3);
    std::lock_guard lk(push->mutex);
    EXPECT_EQ(push->loads.size(), 2u);  // push is loaded on every enabling
}

// The app's last choice wins over the library's own steps that were on their way when it was
// made: the first configuration's enabling, and a becoming active checked before a disable ran.
// The SDK thread is held while the calls are made, so each step queues in the order a busy
// thread would take them.
struct ChoiceCase {
    std::string name;
    std::optional<bool> stored;  // "zarn_enabled" before the start
    bool throughCallback;        // the configuration comes through the app's callback
    bool choice;                 // the app's enable() or disable()
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class AppChoiceTest : public FacadeTest, public ::testing::WithParamInterface<ChoiceCase> {
  protected:
    // Runs `calls` while the SDK thread waits, then lets everything run.
    void withSdkHeld(const std::function<void()>& calls) {
        std::promise<void> release;
        timerDao->invokeBlockOnRunLoop([done = release.get_future().share()] { done.wait(); }, false);
        calls();
        release.set_value();
        env.runUntilIdle();
    }
    void choose(bool enable) { enable ? facade->enable() : facade->disable(); }
};

TEST_P(AppChoiceTest, TheAppsLastChoiceWins) {
    const auto& c = GetParam();
    if (c.stored)
        onSdk([&] { return keyValueDao->setBoolPropertyValue(*c.stored, "zarn_enabled"); });
    if (c.throughCallback)
        delegate->zarnLoadConfig = [](std::shared_ptr<ZarnConfiguration> offered,
                                      std::function<void(std::shared_ptr<ZarnConfiguration>)> load) {
            load(offered);
        };
    withSdkHeld([&] {
        build();
        choose(c.choice);
    });
    EXPECT_EQ(facade->isEnabled(), c.choice);
    EXPECT_EQ(onSdk([&] { return keyValueDao->getBoolPropertyValueForKey("zarn_enabled"); }), c.choice);
    EXPECT_EQ(env.consoleCount("INFO|ZarnInterface| Zarn enabled"), c.choice ? 1 : 0);
    EXPECT_EQ(locationUpdates->count("enable"), c.choice ? 1 : 0);
    EXPECT_EQ(updatesEveryMinute(), c.choice);

    // A becoming active checked on the main thread before the disable ran starts no timer.
    withSdkHeld([&] {
        facade->disable();
        env.device->application()->becomeActive();
    });
    int updates = locationUpdates->count("update");
    EXPECT_FALSE(updatesEveryMinute());
    EXPECT_EQ(locationUpdates->count("update"), updates);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, AppChoiceTest,
    ::testing::Values(ChoiceCase{"NothingStoredDisable", std::nullopt, false, false},
                      ChoiceCase{"StoredOnDisable", true, false, false},
                      ChoiceCase{"StoredOffEnable", false, false, true},
                      ChoiceCase{"NothingStoredEnable", std::nullopt, false, true},
                      ChoiceCase{"CallbackNothingStoredDisable", std::nullopt, true, false},
                      ChoiceCase{"CallbackStoredOffEnable", false, true, true},
                      ChoiceCase{"CallbackNothingStoredEnable", std::nullopt, true, true}),
    [](const auto& info) { return test::caseName(info.param.name); });

TEST_F(FacadeTest, BecomingActiveWhileDisabledDoesNothing) {
    onSdk([&] { return keyValueDao->setBoolPropertyValue(false, "zarn_enabled"); });
    start();
    env.device->application()->becomeActive();
    env.advanceBy(120);
    EXPECT_TRUE(locationUpdates->calls().empty());
    EXPECT_EQ(updateTimersStarted(), 0);
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
    // The push client is loaded at every enabling with the launch's sandbox choice.
    auto sandbox = [&] {
        std::lock_guard lk(push->mutex);
        return push->loads.empty() ? std::optional<bool>() : std::optional<bool>(push->loads.back());
    };
    start();
    EXPECT_FALSE(publicLog->enabled());
    EXPECT_EQ(sandbox(), false);
    facade.reset();

    env.device->mainBundle()->setInfoValue("CFBundleDisplayName", Value("My ZaRn Demo"));
    start();
    EXPECT_TRUE(publicLog->enabled());
    EXPECT_EQ(sandbox(), false);  // no debug launch, which would use the push sandbox
    facade.reset();

    env.device->mainBundle()->setInfoValue("CFBundleDisplayName", Value("Tram times"));
    configuration->setDebugLaunch(true);
    start();
    EXPECT_TRUE(publicLog->enabled());
    EXPECT_EQ(sandbox(), true);  // a debug launch uses the push sandbox
}

// A part left out where a road's parts are filled does not compile, and a required part cannot
// be given as nullptr.
template <typename T>
concept FilledWithEveryPartLeftOut = requires {
    T{};
};
static_assert(!FilledWithEveryPartLeftOut<ZarnPZarnInterface::Parts>);
static_assert(!FilledWithEveryPartLeftOut<ZarnPEnablingRoad::Collaborators>);
static_assert(!FilledWithEveryPartLeftOut<ZarnPOperationsRoad::Collaborators>);
static_assert(!FilledWithEveryPartLeftOut<ZarnPContextualPageRoad::Collaborators>);
static_assert(!FilledWithEveryPartLeftOut<ZarnPConfigurationRoad::Collaborators>);
static_assert(!FilledWithEveryPartLeftOut<ZarnPOfferingRoad::Collaborators>);
static_assert(!FilledWithEveryPartLeftOut<ZarnPTapRoad::Collaborators>);
static_assert(!std::is_constructible_v<ZarnPRequired<ZarnPDeviceIdDao>, std::nullptr_t>);

TEST_F(FacadeTest, MissingRequiredCollaboratorStopsTheBuild) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto p = parts([] { return false; });
    // The line goes to the recording console.
    EXPECT_DEATH(p.configuration.deviceIdDao = std::shared_ptr<ZarnPDeviceIdDao>(), "");
    // The optional collaborators, and no configuration.
    p.operations.externalRegionService = nullptr;
    p.operations.debugLogMailer = nullptr;
    p.configuration.mainBundle = nullptr;
    p.tap.localNotificationCenter = nullptr;
    p.tap.urlOpener = nullptr;
    EXPECT_NO_THROW(facade = ZarnPZarnInterface::create(p, nullptr));
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
