// The module's build: what each object was given, the delegate links, and start-up through the
// public entry on the simulated device in virtual time.
#include "entry/ZarnPModule.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/ZarnPEvent.h"
#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPLogListener.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPZarnConfiguration.h"
#include "device/exchange/ZarnPHttpRequestCreatorImpl.h"
#include "device/system/ZarnPLocationManagerCreatorImpl.h"
#include "entry/ZarnBaseTesting.h"
#include "sim/Device.h"
#include "sim/SimMailComposer.h"
#include "sim/service/TestService.h"
#include "store/ZarnPSqLiteDb.h"
#include "tests/services/ServiceTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/ModuleGround.h"
#include "tests/support/ScenarioDoubles.h"
#include "tests/support/StartedLibrary.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/ZarnBase.h"
#include "zarn/platform/Platform.h"

namespace zarn {
namespace {

std::shared_ptr<ZarnPLocationManagerCreatorImpl> locationManagerCreator() {
    auto services = platform::current();
    return std::make_shared<ZarnPLocationManagerCreatorImpl>(services.locationManagerFactory,
                                                             services.locationAuthorization);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Sorts the lines logged off the main thread: on the given SDK thread or elsewhere.
class ThreadTally final : public ZarnPLogListener {
  public:
    explicit ThreadTally(std::shared_ptr<ZarnPSystemTimerDao> sdk) : sdk_(std::move(sdk)) {}
    void didLogMessage(const std::string& message, int, const std::string& domain) override {
        if (platform::isMainThread())
            return;
        std::lock_guard lk(mutex_);
        if (sdk_->isRunThread())
            ++onSdkThread_;
        else
            elsewhere_.push_back(domain + "| " + message);
    }
    int onSdkThread() {
        std::lock_guard lk(mutex_);
        return onSdkThread_;
    }
    std::vector<std::string> elsewhere() {
        std::lock_guard lk(mutex_);
        return elsewhere_;
    }

  private:
    std::shared_ptr<ZarnPSystemTimerDao> sdk_;
    std::mutex mutex_;
    int onSdkThread_ = 0;
    std::vector<std::string> elsewhere_;
};

class HostScreen final : public ViewController {};

class ModuleTest : public ::testing::Test {
  protected:
    void TearDown() override {
        module.reset();
        ground.reset();
        env.runUntilIdle();
    }

    // The public log's export as the app mails it, inflated; nothing when no log was attached.
    std::optional<std::string> exportedLog() {
        size_t before = env.device->mailComposing()->composers().size();
        module->interface()->mailDebugLog(std::make_shared<HostScreen>());
        env.runUntilIdle();
        auto composers = env.device->mailComposing()->composers();
        auto composer = composers.size() > before ? composers.back().lock() : nullptr;
        if (!composer || composer->attachments().empty())
            return std::nullopt;
        auto plain = ZarnPGzipHelper::gzipInflate(composer->attachments()[0].data);
        composer->finish(platform::MailComposeResult::Cancelled);
        return plain ? std::string(plain->begin(), plain->end()) : std::string();
    }

    std::shared_ptr<ZarnPZarnConfiguration> configuration() {
        auto c = std::make_shared<ZarnPZarnConfiguration>();
        c->setPublicToken(std::string("token-1"));
        c->setDelegate(std::make_shared<ZarnDelegate>());
        return c;
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPModule> module;
    // What the module stands on, when the test gave it (released after the module).
    std::unique_ptr<test::ModuleGround> ground;
};

TEST_F(ModuleTest, TestingConstructorHandsTheGivenObjectsToEveryService) {
    auto db = std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/given.db"),
                                              zarn::platform::current().fileSystem);
    db->disableThreadCheck();
    auto timerDao = std::make_shared<ZarnPSystemTimerDao>(platform::timeSource(), platform::mainRunLoop(),
                                                          platform::current().application);
    // A clock a year ahead of the device's, so that what it dated shows whose clock was read.
    constexpr double kAhead = test::TestEnvironment::kStart + 365 * 86400.0;  // 2027-12-01 12:00:00
    auto clock = std::make_shared<ZarnPSystemClockDao>(
        std::make_shared<platform::VirtualTimeSource>(dateWithTimeIntervalSince1970(kAhead)));
    auto deviceData = std::make_shared<test::FakeDeviceDataDao>();
    deviceData->name = std::string("Given App");
    auto lines = std::make_shared<ThreadTally>(timerDao);
    ZarnPLogger::instance().addListener(lines);
    // Our own app by its display name: the public log writes its lines.
    env.device->mainBundle()->setInfoValue("CFBundleDisplayName", Value("Zarn Given"));
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient), db,
        timerDao, locationManagerCreator(), deviceData, clock);
    env.runUntilIdle();
    LogError("Network", "timed out");  // the log-event writer stores it as an event
    env.runUntilIdle();
    auto exported = exportedLog();
    ZarnPLogger::instance().removeListener(lines);

    // The database: the rows went to the given file, and the default one was never made.
    EXPECT_FALSE(std::filesystem::exists(env.path("Documents/zarn.db")));
    test::RawSqlite raw(env.path("Documents/given.db"));
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM events WHERE eventType = 'error'"), 1);
    EXPECT_EQ(raw.text("SELECT value FROM keyvalue WHERE key = 'zarn_enabled'"), "enabled");
    // The clock dates every event and the public log's lines.
    EXPECT_GT(raw.integer("SELECT COUNT(*) FROM events"), 1);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM events WHERE date <> " +
                          std::to_string(static_cast<long long>(kAhead))),
              0);
    ASSERT_TRUE(exported);
    EXPECT_NE(exported->find("2027-12-01 12:00:00 +0000: Zarn enabled"), std::string::npos) << *exported;
    // The device data names the app in the phone state and in the public log's header.
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM events WHERE eventType = 'phone_state' AND "
                          "CAST(extra AS TEXT) LIKE '%\"app_name\":\"Given App\"%'"),
              1);
    EXPECT_NE(exported->find(" app_name: Given App\n"), std::string::npos);
    // The SDK thread: whatever the services logged off the main thread, they logged on the given one.
    EXPECT_GT(lines->onSdkThread(), 0);
    EXPECT_EQ(lines->elsewhere(), std::vector<std::string>{});
}

// Events logged on every road reach one event service and its one store: the facade's enabling
// and disabling, the phone state, the log's error lines and, through the context service, each
// run's debug log, which holds the lines of the services that write to the public log the facade
// switched on. Each event leaves once, the disable sends once, and what left is gone from the
// store the module holds.
TEST_F(ModuleTest, OneEventServiceAndOneStoreOfEachKindAreShared) {
    auto service = std::make_shared<sim::TestService>();
    test::installTestService(service);
    auto c = configuration();
    c->setDebugLaunch(true);
    ground = std::make_unique<test::ModuleGround>();
    module = ground->build(c);
    env.runUntilIdle();
    LogError("Network", "timed out");
    env.advanceBy(10);  // the runs started at enabling end, and their contexts with them
    size_t before = service->requestCount();
    module->interface()->disable();
    env.runUntilIdle();

    std::set<std::string> types;
    std::set<std::string> uploaded;
    std::string debugLogs;
    size_t uploads = 0, atDisable = 0;
    auto requests = service->requests();
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].endpoint != "storeEvents")
            continue;
        ++uploads;
        atDisable += i >= before;
        ASSERT_EQ(requests[i].answered.status, 200);
        ASSERT_TRUE(requests[i].json);
        for (auto& e : (*requests[i].json)["events"]) {
            types.insert(e["eventType"].get<std::string>());
            EXPECT_TRUE(uploaded.insert(e["localId"].get<std::string>()).second)
                << "sent twice: " << e.dump();
            if (e["eventType"] == "debuglog_entry")
                debugLogs += e["extra"]["contents"].get<std::string>();
        }
    }
    EXPECT_GE(uploads, 2u);
    EXPECT_EQ(atDisable, 1u);
    for (const char* type : {"enable_service", "phone_state", "error", "debuglog_entry", "disable_service"})
        EXPECT_TRUE(types.count(type)) << type;
    EXPECT_NE(debugLogs.find("Zarn enabled"), std::string::npos) << debugLogs;
    EXPECT_NE(debugLogs.find("Registering screen transition: app_in_foreground"), std::string::npos)
        << debugLogs;
    for (auto& e : ground->storedEvents())
        EXPECT_FALSE(uploaded.count(e->identifier())) << "still stored: " << e->identifier();
    EXPECT_FALSE(
        ground->onSdk([&] { return ground->settings()->getBoolPropertyValueForKey("zarn_enabled"); }));
}

TEST_F(ModuleTest, DefaultDatabaseOfTheTestingBuildMayBeOpenedFromTheMainThread) {
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient),
        nullptr, nullptr, locationManagerCreator(), nullptr, std::make_shared<ZarnPSystemClockDao>(env.time));
    // Opened here, on the main thread, before the SDK thread does.
    ASSERT_TRUE(module->db()->database());
    env.runUntilIdle();
    EXPECT_FALSE(env.consoleContains("Initializing DB from main thread!"));
    EXPECT_TRUE(std::filesystem::exists(env.path("Documents/zarn.db")));
    // The match-state stores of every region kind have created their tables in the one file.
    test::RawSqlite raw(env.path("Documents/zarn.db"));
    EXPECT_EQ(
        raw.integer("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('matched_cooldown_groups', "
                    "'beacon_notifications_user_entered', 'notifications_user_entered', "
                    "'external_notifications_user_dwelling', 'shared_notifications_segmentation_history')"),
        5);
    EXPECT_FALSE(env.consoleContains("Failed to"));
}

TEST_F(ModuleTest, DatabaseOpensWithTheDataUpdateTables) {
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient),
        nullptr, nullptr, locationManagerCreator(), nullptr, std::make_shared<ZarnPSystemClockDao>(env.time));
    env.runUntilIdle();
    test::RawSqlite raw(env.path("Documents/zarn.db"));
    for (const char* table : {"geohash", "geohash_notification", "notification", "campaign", "polygon",
                              "custom_region_fields", "trigger_properties", "segmentation_property",
                              "timespan", "cooldown_group", "set_segmentation_property"})
        EXPECT_TRUE(raw.hasTable(table)) << table;
}

TEST_F(ModuleTest, FirstLineOfTheBuildLandsInTheLogFile) {
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient),
        locationManagerCreator());
    env.runUntilIdle();
    EXPECT_NE(readFile(env.path("Documents/zarn.log")).find("Zarn started > 3.0.0-beta-DEBUG"),
              std::string::npos);
}

TEST_F(ModuleTest, ReleasedModuleDetachesItsLogListeners) {
    size_t before = ZarnPLogger::instance().listeners().size();
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient),
        locationManagerCreator());
    env.runUntilIdle();
    EXPECT_EQ(ZarnPLogger::instance().listeners().size(), before + 2);  // the log file and the event writer
    module.reset();
    env.runUntilIdle();
    EXPECT_EQ(ZarnPLogger::instance().listeners().size(), before);
}

// The services reach each other in rings (the context service, the event service, the exchange
// and the fence store): a released module must still take every one of them with it, started or
// not. Every service holds the database, the SDK thread or the clock, itself or through a store,
// and those that follow the app's state observe the default centre: one left behind keeps the
// ground it was given alive, or an observer.
TEST_F(ModuleTest, ReleasedModuleTakesEveryServiceWithIt) {
    auto center = platform::defaultCenter();
    for (bool configured : {false, true}) {
        SCOPED_TRACE(configured ? "configured" : "without a configuration");
        size_t observing = center->observerCount();
        std::vector<std::pair<const char*, std::weak_ptr<void>>> built;
        {
            test::ModuleGround given;
            auto m = given.build(configured ? configuration() : nullptr);
            env.runUntilIdle();
            built = {{"facade", m->interface()},
                     {"database", given.db},
                     {"SDK thread", given.timerDao},
                     {"clock", given.clock}};
        }
        env.runUntilIdle();
        for (auto& [name, object] : built) EXPECT_TRUE(object.expired()) << name << " outlived the module";
        EXPECT_EQ(center->observerCount(), observing);
    }
}

// --- Start-up through the public entry, with the module the entry builds

class StartupTest : public test::StartedLibraryTest {
  protected:
    std::vector<std::string> names() { return broadcasts(); }
};

TEST_F(StartupTest, FirstStartAnnouncesInitialisedThenEnabled) {
    initialize();
    EXPECT_EQ(names(), (std::vector<std::string>{"Zarn_Initialized", "Zarn_Enabled"}));
    EXPECT_TRUE(ZarnBase::isEnabled());
    // The entry's build opens the database on the SDK thread, never on the app's main thread.
    EXPECT_FALSE(env.consoleContains("Initializing DB from main thread!"));
    EXPECT_TRUE(std::filesystem::exists(env.path("Documents/zarn.db")));
}

TEST_F(StartupTest, DisabledStateSurvivesARestart) {
    initialize();
    ZarnBase::disable();
    env.runUntilIdle();
    EXPECT_EQ(names().back(), "Zarn_Disabled");
    restart();

    initialize(/*enableOnFirstRun=*/true);
    EXPECT_EQ(names(), (std::vector<std::string>{"Zarn_Initialized"}));
    EXPECT_FALSE(ZarnBase::isEnabled());

    ZarnBase::enable();
    env.runUntilIdle();
    restart();
    initialize(/*enableOnFirstRun=*/false);
    EXPECT_EQ(names(), (std::vector<std::string>{"Zarn_Initialized", "Zarn_Enabled"}));
}

TEST_F(StartupTest, FirstStartWithoutEnableOnFirstRunStaysDisabled) {
    initialize(/*enableOnFirstRun=*/false);
    EXPECT_EQ(names(), (std::vector<std::string>{"Zarn_Initialized"}));
    EXPECT_FALSE(ZarnBase::isEnabled());
}

TEST_F(StartupTest, SecondInitialisationReappliesWithoutRebuilding) {
    initialize();
    auto c = ZarnConfiguration::create();
    c->setPublicToken(std::string("token-1"));
    c->setMaxRegionsMonitored(50);
    ZarnBase::performInitializationWithConfiguration(c);
    env.runUntilIdle();
    EXPECT_EQ(names(), (std::vector<std::string>{"Zarn_Initialized", "Zarn_Enabled"}));
    EXPECT_EQ(env.consoleCount("Zarn started > 3.0.0-beta-DEBUG"), 1);
}

TEST_F(StartupTest, UpdatesRunWhileTheAppIsActiveOnly) {
    initialize();
    EXPECT_EQ(env.consoleCount("Checking for update..."), 1);
    env.advanceBy(120);
    EXPECT_EQ(env.consoleCount("Checking for update..."), 3);
    env.device->application()->resignActive();
    env.advanceBy(600);
    EXPECT_EQ(env.consoleCount("Checking for update..."), 3);
    EXPECT_EQ(names().back(), "Zarn_Will_Resign_Active");
    env.device->application()->becomeActive();
    env.advanceBy(60);
    EXPECT_EQ(env.consoleCount("Checking for update..."), 5);
}

// The export header's "zarn_status" is the facade's flag as the module hands it to the public
// log: it follows enabling and disabling and is read on the SDK thread without waiting.
TEST_F(ModuleTest, PublicLogExportShowsTheFacadesEnabledState) {
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient),
        locationManagerCreator());
    env.runUntilIdle();
    auto exportStatus = [&] {
        auto exported = exportedLog();
        if (!exported)
            return std::string("(no data)");
        const std::string& text = *exported;
        auto at = text.find(" zarn_status: ");
        return at == std::string::npos ? std::string("(no status)")
                                       : text.substr(at, text.find('\n', at) - at);
    };
    ASSERT_TRUE(module->interface()->isEnabled());
    EXPECT_EQ(exportStatus(), " zarn_status: enabled");
    module->interface()->disable();
    env.runUntilIdle();
    EXPECT_EQ(exportStatus(), " zarn_status: disabled");
    module->interface()->enable();
    env.runUntilIdle();
    EXPECT_EQ(exportStatus(), " zarn_status: enabled");
}

}  // namespace
}  // namespace zarn
