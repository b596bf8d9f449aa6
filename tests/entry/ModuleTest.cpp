// The module's build: what each object was given, the delegate links, and start-up through the
// public entry on the simulated device in virtual time.
#include "entry/ZarnPModule.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPZarnConfiguration.h"
#include "device/ZarnPHttpRequestCreatorImpl.h"
#include "device/ZarnPKeyValueDao.h"
#include "device/ZarnPLocationManagerCreatorImpl.h"
#include "device/ZarnPSystemBackgroundTaskDao.h"
#include "device/ZarnPSystemDeviceDataDao.h"
#include "device/ZarnPSystemPublicLogDao.h"
#include "entry/ZarnBaseTesting.h"
#include "entry/ZarnPModuleFactory.h"
#include "entry/ZarnPZarnInterface.h"
#include "services/ZarnPCommonMatchService.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPLogEventWriter.h"
#include "sim/Device.h"
#include "store/ZarnPDatabase.h"
#include "store/ZarnPSqLiteBeaconNotificationDao.h"
#include "store/ZarnPSqLiteCooldownDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteExternalNotificationDao.h"
#include "store/ZarnPSqLiteKeyValueDao.h"
#include "store/ZarnPSqLiteNotificationDao.h"
#include "tests/store/StoreTestSupport.h"
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

class ModuleTest : public ::testing::Test {
  protected:
    void TearDown() override {
        module.reset();
        env.runUntilIdle();
    }

    std::shared_ptr<ZarnPZarnConfiguration> configuration() {
        auto c = std::make_shared<ZarnPZarnConfiguration>();
        c->setPublicToken(std::string("token-1"));
        c->setDelegate(std::make_shared<ZarnDelegate>());
        return c;
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPModule> module;
};

TEST_F(ModuleTest, TestingConstructorHandsTheGivenObjectsToEveryService) {
    auto db = std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/given.db"),
                                              zarn::platform::current().fileSystem);
    db->disableThreadCheck();
    auto timerDao = std::make_shared<ZarnPSystemTimerDao>(platform::timeSource(), platform::mainRunLoop(),
                                                          platform::current().application);
    auto clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    // A device-data store of the module's own kind, over a settings store of its own.
    auto settings = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
    auto deviceData =
        std::make_shared<ZarnPSystemDeviceDataDao>(settings->keyValueDao(), timerDao, platform::current());
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient), db,
        timerDao, locationManagerCreator(), deviceData, clock);
    env.runUntilIdle();

    EXPECT_EQ(module->db(), db);
    EXPECT_EQ(module->timerDao(), timerDao);
    EXPECT_EQ(module->clockDao(), clock);
    EXPECT_EQ(module->deviceDataDao(), deviceData);

    const auto& facade = module->facade()->collaborators();
    EXPECT_EQ(facade.db, db);
    EXPECT_EQ(facade.timerDao, timerDao);
    EXPECT_EQ(facade.clockDao, clock);
    EXPECT_EQ(module->eventService()->clockDao(), clock);
    EXPECT_EQ(module->publicLogDao()->clockDao(), clock);
    EXPECT_EQ(module->publicLogDao()->deviceDataDao(), deviceData);
    EXPECT_EQ(module->contextService()->timerDao(), timerDao);
    EXPECT_EQ(module->backgroundTaskDao()->timerDao(), timerDao);
    EXPECT_EQ(module->logEventWriter()->timerDao(), timerDao);
}

TEST_F(ModuleTest, OneEventServiceAndOneStoreOfEachKindAreShared) {
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient),
        nullptr, nullptr, locationManagerCreator(), nullptr, std::make_shared<ZarnPSystemClockDao>(env.time));
    env.runUntilIdle();
    const auto& facade = module->facade()->collaborators();
    auto events = module->eventService();
    EXPECT_EQ(facade.eventService, events);
    EXPECT_EQ(module->contextService()->eventService(), events);
    EXPECT_EQ(module->logEventWriter()->eventService(), events);
    EXPECT_EQ(events->eventDao(), module->eventDao());
    EXPECT_EQ(facade.keyValueDao, module->keyValueDao());
    EXPECT_EQ(facade.contextService, module->contextService());
    EXPECT_EQ(facade.publicLogDao, module->publicLogDao());
    EXPECT_EQ(facade.slcDao, module->getSlcDao());
    EXPECT_EQ(facade.externalRegionService, module->getExternalRegionService());
    EXPECT_EQ(facade.commonMatchService, module->commonMatchService());
    // The match service offers its matches to the facade.
    EXPECT_EQ(module->commonMatchService()->delegate(), module->facade());
    EXPECT_EQ(module->interface(), module->facade());
}

TEST_F(ModuleTest, DefaultDatabaseOfTheTestingBuildMayBeOpenedFromTheMainThread) {
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient),
        nullptr, nullptr, locationManagerCreator(), nullptr, std::make_shared<ZarnPSystemClockDao>(env.time));
    ASSERT_TRUE(module->db()->database());
    env.runUntilIdle();
    EXPECT_FALSE(env.consoleContains("Initializing DB from main thread!"));
    EXPECT_TRUE(std::filesystem::exists(env.path("Documents/zarn.db")));
    // The match-state stores of every region kind have created their tables.
    for (const auto& dao : std::vector<std::shared_ptr<ZarnPSqLiteDao>>{
             module->cooldownDao(), module->beaconNotificationDao(), module->notificationDao(),
             module->externalNotificationDao()})
        EXPECT_EQ(dao->db(), module->db());
    auto rs = module->db()->database()->executeQuery(
        "SELECT COUNT(*) FROM sqlite_master WHERE name IN ('matched_cooldown_groups', "
        "'beacon_notifications_user_entered', 'notifications_user_entered', "
        "'external_notifications_user_dwelling', 'shared_notifications_segmentation_history')");
    ASSERT_TRUE(rs && rs->next());
    EXPECT_EQ(rs->intForColumnIndex(0), 5);
    EXPECT_FALSE(env.consoleContains("Failed to"));
}

TEST_F(ModuleTest, DatabaseOpensWithTheDataUpdateTables) {
    module = std::make_shared<ZarnPModule>(
        configuration(), std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient),
        nullptr, nullptr, locationManagerCreator(), nullptr, std::make_shared<ZarnPSystemClockDao>(env.time));
    ASSERT_TRUE(module->db()->database());
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
// not.
TEST_F(ModuleTest, ReleasedModuleTakesEveryServiceWithIt) {
    for (bool configured : {false, true}) {
        SCOPED_TRACE(configured ? "configured" : "without a configuration");
        std::vector<std::pair<const char*, std::weak_ptr<void>>> built;
        {
            auto m = std::dynamic_pointer_cast<ZarnPModule>(
                buildDefaultModule(configured ? configuration() : nullptr));
            env.runUntilIdle();
            auto c = m->facade()->collaborators();
            built = {{"facade", m->facade()},
                     {"event service", c.eventService},
                     {"settings", c.keyValueDao},
                     {"SDK thread", c.timerDao},
                     {"public log", c.publicLogDao},
                     {"notification service", c.notificationService},
                     {"segmentation", c.segmentationService},
                     {"contexts", c.contextService},
                     {"common matching", c.commonMatchService},
                     {"database", c.db}};
        }
        env.runUntilIdle();
        for (auto& [name, object] : built) EXPECT_TRUE(object.expired()) << name << " outlived the module";
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
        std::optional<std::vector<uint8_t>> data;
        module->publicLogDao()->getLogFileData(
            [&](std::optional<std::vector<uint8_t>> d) { data = std::move(d); });
        env.runUntilIdle();
        if (!data)
            return std::string("(no data)");
        auto plain = ZarnPGzipHelper::gzipInflate(std::span<const uint8_t>(*data));
        std::string text = plain ? std::string(plain->begin(), plain->end()) : std::string();
        auto at = text.find(" zarn_status: ");
        return at == std::string::npos ? std::string("(no status)")
                                       : text.substr(at, text.find('\n', at) - at);
    };
    ASSERT_TRUE(module->facade()->isEnabledWithoutWaiting());
    EXPECT_EQ(exportStatus(), " zarn_status: enabled");
    module->facade()->disable();
    env.runUntilIdle();
    EXPECT_EQ(exportStatus(), " zarn_status: disabled");
    module->facade()->enable();
    env.runUntilIdle();
    EXPECT_EQ(exportStatus(), " zarn_status: enabled");
}

}  // namespace
}  // namespace zarn
