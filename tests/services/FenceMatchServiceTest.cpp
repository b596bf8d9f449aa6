// The match-run dispatch: which region callback makes which match run due, what a fix then runs,
// enabling and disabling, and a failing beacon step.
#include <gtest/gtest.h>

#include "core/ZarnPContext.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnTriggerContext.h"
#include "device/system/ZarnPBaseUINotificationDao.h"
#include "device/system/ZarnPFenceDao.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "device/system/ZarnPSystemDeviceDataDao.h"
#include "device/system/ZarnPUINotificationDao.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPDwellingEnding.h"
#include "services/ZarnPFenceMatchService.h"
#include "sim/Device.h"
#include "store/settings/ZarnPBaseKeyValueDao.h"
#include "tests/services/LocationUpdateTestSupport.h"
#include "tests/store/settings/MemoryStringKeyValueDao.h"
#include "tests/support/FenceDoubles.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {
namespace {

class RecordingFenceDao final : public test::IgnoringFences {
  public:
    void removeAllFences() override { calls.push_back("removeAll"); }
    void getReady() override { calls.push_back("getReady"); }
    bool isRegionExitSupported() override { return false; }
    std::vector<std::string> calls;
};

class RecordingUiNotifications final : public ZarnPBaseUINotificationDao {
  public:
    void send(const NotificationRequest&) override {}
    void cancelNotifications(const std::vector<std::string>&) override {}
    void scheduledNotificationRequests(std::function<void(std::vector<NotificationRequest>)>) override {}
    void isRegisteredForNotifications(
        std::function<void(std::shared_ptr<ZarnPNotificationsEnabledCallback>)>) override {}
    bool automaticallyAskNotificationPermission() const override { return true; }
    void setAutomaticallyAskNotificationPermission(bool) override {}
    bool provisionalNotificationPermission() const override { return false; }
    void setProvisionalNotificationPermission(bool) override {}
    void cancelAllNotifications() override { calls.push_back("cancelAll"); }
    void registerForNotifications() override { calls.push_back("register"); }
    std::vector<std::string> calls;
};

class Proximity final : public ZarnPMatchServiceProximityTriggeredDelegate {
  public:
    void proximityTriggered(const std::shared_ptr<ZarnPContext>& context) override {
        contexts.push_back(context);
    }
    std::vector<std::shared_ptr<ZarnPContext>> contexts;
};

const Uuid kUuid = Uuid::fromString("E2C56DB5-DFFB-48D2-B060-D0F5A71096E0").value();

platform::Beacon beacon(int minor) {
    platform::Beacon b;
    b.proximityUuid = kUuid.bytes();
    b.major = 1;
    b.minor = minor;
    b.proximity = platform::BeaconProximity::Near;
    return b;
}

class FenceMatchServiceTest : public ::testing::Test {
  protected:
    FenceMatchServiceTest() { service->setRegionTriggeredDelegate(proximity); }
    std::shared_ptr<ZarnPBackgroundTask> task() { return tasks->startBackgroundTask(); }
    void fix() {
        service->locationAcquired(std::make_shared<ZarnPLocationWithAccuracy>(52.52, 13.405, 10), task(),
                                  contexts->startContext(ZarnTriggerContextGeofence));
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSystemTimerDao> timerDao =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    std::shared_ptr<ZarnPSystemClockDao> clock = std::make_shared<ZarnPSystemClockDao>(env.time);
    std::shared_ptr<ZarnPKeyValueDao> keyValue =
        std::make_shared<ZarnPBaseKeyValueDao>(std::make_shared<test::MemoryStringKeyValueDao>());
    std::shared_ptr<ZarnPSystemBackgroundTaskDao> tasks = std::make_shared<ZarnPSystemBackgroundTaskDao>(
        timerDao, env.device->backgroundTasks(), env.device->application());
    std::shared_ptr<ZarnPContextService> contexts = std::make_shared<ZarnPContextService>(clock);
    std::shared_ptr<RecordingFenceDao> fenceDao = std::make_shared<RecordingFenceDao>();
    std::shared_ptr<RecordingUiNotifications> ui = std::make_shared<RecordingUiNotifications>();
    std::shared_ptr<test::RecordingMatching> matching = std::make_shared<test::RecordingMatching>();
    std::shared_ptr<Proximity> proximity = std::make_shared<Proximity>();
    std::shared_ptr<platform::NotificationCenter> center = std::make_shared<platform::NotificationCenter>();
    // Every dwelling ended by a disable, counted.
    struct CountedDwellingEnds final : ZarnPDwellingEnding {
        std::optional<Date> endWaitingDwellings(std::optional<Date>) override {
            ++ends;
            return std::nullopt;
        }
        int ends = 0;
    };
    std::shared_ptr<CountedDwellingEnds> dwellings = std::make_shared<CountedDwellingEnds>();
    std::shared_ptr<ZarnPFenceMatchService> service = ZarnPFenceMatchService::create(
        fenceDao, ui, contexts,
        std::make_shared<ZarnPSystemDeviceDataDao>(keyValue, timerDao, platform::current()), keyValue,
        nullptr, matching, matching, center, dwellings);
};

// Each callback, before any enabling (the sets exist from construction), then one fix.
TEST_F(FenceMatchServiceTest, EachCallbackStartsItsOwnMatchRun) {
    struct Row {
        const char* name;
        std::function<void()> act;
        std::optional<unsigned> contextType;  // of the first proximity request; nothing: none
        size_t requests;
        std::vector<std::string> run;
    };
    auto ctx = [this] { return contexts->startContext(ZarnTriggerContextBeacon); };
    std::vector<Row> rows{
        {"geofence entry",
         [this] { service->fenceDaoDidEnterGeofence("zarn-a"); },
         ZarnTriggerContextGeofence,
         1,
         {"dwellGeofences", "geofences"}},
        {"geofence exit",
         [this] { service->fenceDaoDidExitGeofence("zarn-a"); },
         ZarnTriggerContextGeofence,
         1,
         {"dwellGeofences", "geofences"}},
        {"beacon exit",
         [&] { service->fenceDaoDidExitBeaconRegion(kUuid, ctx()); },
         ZarnTriggerContextBeacon,
         1,
         {"exits:1"}},
        {"ranging",
         [&] {
             service->fenceDaoFinishRangingBeacons({beacon(1), beacon(2)}, kUuid, task(), ctx());
         },
         ZarnTriggerContextBeacon,
         1,
         {"dwellBeacons", "beacons:2:bg"}},
        {"two rangings merge",
         [&] {
             service->fenceDaoFinishRangingBeacons({beacon(1), beacon(2)}, kUuid, true, task(), ctx());
             service->fenceDaoFinishRangingBeacons({beacon(3)}, kUuid, true, task(), ctx());
         },
         ZarnTriggerContextBeacon,
         2,
         {"dwellBeacons", "beacons:3:bg"}},
        {"ranging without beacons",
         [&] { service->fenceDaoFinishRanging(task(), ctx()); },
         ZarnTriggerContextBeacon,
         1,
         {"dwellBeacons", "beacons:0:bg"}},
        {"nothing", [] {}, std::nullopt, 0, {}},
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.name);
        proximity->contexts.clear();
        matching->calls.clear();
        row.act();
        env.runUntilIdle();  // the foreground answer comes back on the SDK thread
        ASSERT_EQ(proximity->contexts.size(), row.requests);
        if (row.contextType) {
            EXPECT_EQ(proximity->contexts[0]->triggerContext(), *row.contextType);
        }
        fix();
        EXPECT_EQ(matching->calls, row.run);
        fix();  // everything due ran: a second fix runs nothing
        EXPECT_EQ(matching->calls, row.run);
    }
}

TEST_F(FenceMatchServiceTest, EnableDueGeofenceRunAndFirstTimeClearsNotificationsOnce) {
    center->post("Zarn_Enabled");
    EXPECT_TRUE(service->performGeofenceMatchRun());
    EXPECT_EQ(fenceDao->calls, (std::vector<std::string>{"getReady"}));
    EXPECT_EQ(ui->calls, (std::vector<std::string>{"cancelAll", "register"}));
    EXPECT_TRUE(keyValue->getBoolPropertyValueForKey("zarn_notification_initialized"));
    fix();
    EXPECT_EQ(matching->calls, (std::vector<std::string>{"dwellGeofences", "geofences"}));
    service->enable();
    EXPECT_EQ(ui->calls.size(), 2u);  // only the first enabling on the device

    service->fenceDaoFinishRanging(task(), contexts->startContext(ZarnTriggerContextBeacon));
    center->post("Zarn_Disabled");
    EXPECT_FALSE(service->performGeofenceMatchRun());
    EXPECT_FALSE(service->performBeaconMatchRun());
    EXPECT_EQ(fenceDao->calls.back(), "removeAll");
    EXPECT_EQ(ui->calls.back(), "cancelAll");
    EXPECT_EQ(dwellings->ends, 1);  // ended with the requests the disable cancels
    matching->calls.clear();
    fix();
    EXPECT_TRUE(matching->calls.empty());
}

TEST_F(FenceMatchServiceTest, FailingBeaconStepsAreRetriedWithTheNextFix) {
    matching->failBeacons = true;
    matching->failExits = true;
    service->fenceDaoFinishRangingBeacons({beacon(1)}, kUuid, false, task(),
                                          contexts->startContext(ZarnTriggerContextBeacon));
    service->fenceDaoDidExitBeaconRegion(kUuid, contexts->startContext(ZarnTriggerContextBeacon));
    fix();
    EXPECT_EQ(matching->calls, (std::vector<std::string>{"dwellBeacons", "beacons:1:bg", "exits:1"}));
    EXPECT_TRUE(service->performBeaconMatchRun());
    EXPECT_TRUE(service->checkForBeaconExit());
    EXPECT_EQ(service->rangedBeacons().size(), 1u);
    EXPECT_EQ(service->exitedBeaconUuids().size(), 1u);
    matching->failBeacons = false;
    matching->failExits = false;
    matching->calls.clear();
    fix();
    EXPECT_EQ(matching->calls, (std::vector<std::string>{"dwellBeacons", "beacons:1:bg", "exits:1"}));
    EXPECT_FALSE(service->performBeaconMatchRun());
    EXPECT_FALSE(service->checkForBeaconExit());
    EXPECT_TRUE(service->rangedBeacons().empty());
}

// A ranging or a beacon exit reported from inside a beacon step (a region change in the run) takes
// the lock the step left, and is handled with the next fix rather than dropped with what ran.
TEST_F(FenceMatchServiceTest, ReportsFromInsideABeaconStepWaitForTheNextFix) {
    const Uuid other = Uuid::fromString("74278BDA-B644-4520-8F0C-720EAF059935").value();
    auto beaconContext = [this] { return contexts->startContext(ZarnTriggerContextBeacon); };
    matching->duringBeacons = [&] {
        service->fenceDaoFinishRangingBeacons({beacon(7), beacon(8)}, kUuid, false, task(), beaconContext());
    };
    matching->duringExits = [&] { service->fenceDaoDidExitBeaconRegion(other, beaconContext()); };
    service->fenceDaoFinishRangingBeacons({beacon(1)}, kUuid, false, task(), beaconContext());
    service->fenceDaoDidExitBeaconRegion(kUuid, beaconContext());
    fix();
    EXPECT_EQ(matching->calls, (std::vector<std::string>{"dwellBeacons", "beacons:1:bg", "exits:1"}));
    EXPECT_TRUE(service->performBeaconMatchRun());
    EXPECT_EQ(service->rangedBeacons().size(), 2u);
    EXPECT_TRUE(service->checkForBeaconExit());
    EXPECT_EQ(service->exitedBeaconUuids(), std::set<Uuid>{other});

    matching->duringBeacons = nullptr;
    matching->duringExits = nullptr;
    matching->calls.clear();
    fix();
    EXPECT_EQ(matching->calls, (std::vector<std::string>{"dwellBeacons", "beacons:2:bg", "exits:1"}));
    EXPECT_FALSE(service->performBeaconMatchRun());
    EXPECT_TRUE(service->rangedBeacons().empty());
    EXPECT_FALSE(service->checkForBeaconExit());
    EXPECT_TRUE(service->exitedBeaconUuids().empty());
}

}  // namespace
}  // namespace zarn
