// The data-update step of a run and the clearing of data for a new token, over the real stores.
#include "services/ZarnPNotificationService.h"

#include <gtest/gtest.h>

#include "core/ZarnPContext.h"
#include "core/ZarnPContextStarting.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPSegmentationProperty.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/exchange/ZarnPRemoteEventAndNotificationDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPNotificationServiceDelegate.h"
#include "services/ZarnPSegmentationService.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteSegmentationDao.h"
#include "store/ZarnPSqLiteSegmentationHistoryDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/Platform.h"

namespace zarn {
namespace {

class CountingRemote final : public ZarnPRemoteEventAndNotificationDao {
  public:
    void storeEventsAndLoadNotifications(const std::vector<std::shared_ptr<ZarnPEvent>>&,
                                         const std::shared_ptr<ZarnPLocationWithAccuracy>&, bool, bool,
                                         const std::string&, const std::optional<std::string>&,
                                         std::optional<bool>, const Value&,
                                         std::shared_ptr<ZarnPStoreEventsAndLoadNotificationsDelegate>,
                                         std::shared_ptr<ZarnPContext>) override {
        ++loads;
    }
    void storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>&, const std::string&,
                     const std::optional<std::string>&, std::optional<bool>, const Value&,
                     std::shared_ptr<ZarnPStoreEventsDelegate>) override {
        ++uploads;
    }
    void saveDataUpdate(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO*,
                        const std::shared_ptr<ZarnPContext>&) override {}
    void clearData() override { ++clears; }
    int loads = 0;
    int uploads = 0;
    int clears = 0;
};

class Contexts final : public ZarnPContextStarting {
  public:
    std::shared_ptr<ZarnPContext> startContext(unsigned triggerContext) override {
        return std::make_shared<ZarnPContext>(triggerContext, std::nullopt, Date{});
    }
};

class RunEnds final : public ZarnPNotificationServiceDelegate {
  public:
    void locationNotificationServiceUpdatedNotifications(
        const std::shared_ptr<ZarnPContext>& context) override {
        ended.push_back(context);
    }
    void notificationServiceReceivedPushForLocation(const std::shared_ptr<ZarnPContext>&) override {}
    std::vector<std::shared_ptr<ZarnPContext>> ended;
};

class NotificationServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db = std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/zarn.db"),
                                             platform::current().fileSystem);
        db->disableThreadCheck();
        events = std::make_shared<ZarnPSqLiteEventDao>(db);
        strings = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        segmentationValues = std::make_shared<ZarnPSqLiteSegmentationDao>(db);
        history = std::make_shared<ZarnPSqLiteSegmentationHistoryDao>(db);
        ASSERT_TRUE(db->database());
        keyValues = strings->keyValueDao();
        auto clock = std::make_shared<ZarnPSystemClockDao>(env.time);
        publicLog = std::make_shared<ZarnPSystemPublicLogDao>(clock, nullptr, nullptr, env.fileSystem,
                                                              env.time, [] { return true; });
        auto eventService =
            ZarnPEventService::create(events, keyValues, std::make_shared<ZarnPUuidGenerator>(),
                                      std::make_shared<test::FreshSegmentation>(), remote, clock,
                                      std::make_shared<platform::NotificationCenter>());
        segmentation =
            std::make_shared<ZarnPSegmentationService>(keyValues, segmentationValues, history, publicLog);
        service = ZarnPNotificationService::create(ZarnPNotificationService::Collaborators{
            .localDao = nullptr,
            .beaconDao = nullptr,
            .remoteDao = remote,
            .eventDao = events,
            .keyValueDao = keyValues,
            .publicLogDao = publicLog,
            .eventService = eventService,
            .contextService = std::make_shared<Contexts>(),
            .segmentationService = segmentation,
            .clockDao = clock,
            .db = db,
        });
        service->setDelegate(runEnds);
        segmentation->setNotificationService(service);
    }

    void run(const std::shared_ptr<ZarnPContext>& context) {
        service->storeEventsAndUpdateNotificationsForLocation(location, true, true, true, context);
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteEventDao> events;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> strings;
    std::shared_ptr<ZarnPSqLiteSegmentationDao> segmentationValues;
    std::shared_ptr<ZarnPSqLiteSegmentationHistoryDao> history;
    std::shared_ptr<ZarnPKeyValueDao> keyValues;
    std::shared_ptr<ZarnPSystemPublicLogDao> publicLog;
    std::shared_ptr<CountingRemote> remote = std::make_shared<CountingRemote>();
    std::shared_ptr<ZarnPSegmentationService> segmentation;
    std::shared_ptr<ZarnPNotificationService> service;
    std::shared_ptr<RunEnds> runEnds = std::make_shared<RunEnds>();
    std::shared_ptr<ZarnPLocationWithAccuracy> location =
        std::make_shared<ZarnPLocationWithAccuracy>(52.5, 13.4, 20);
};

TEST_F(NotificationServiceTest, WithoutAPublicTokenTheRunEndsAndNothingIsDeletedOrSent) {
    events->saveEvent(
        ZarnPEvent("E1", 10, dateWithTimeIntervalSince1970(test::TestEnvironment::kStart), Value::object()));
    events->saveEvent(
        ZarnPEvent("E2", 10, dateWithTimeIntervalSince1970(test::TestEnvironment::kStart), Value::object()));
    auto context = std::make_shared<ZarnPContext>(1, std::nullopt, Date{});
    run(context);
    ASSERT_EQ(runEnds->ended.size(), 1u);
    EXPECT_EQ(runEnds->ended[0], context);
    EXPECT_TRUE(env.consoleContains("Public token not yet initialized"));
    EXPECT_EQ(events->getEventCount(), 2);
    EXPECT_FALSE(keyValues->getPropertyValueForKey("zarn_store_events"));
    EXPECT_EQ(remote->loads, 0);
    EXPECT_EQ(remote->uploads, 0);
    // The run's own fetch is not spent: once the token is there, it goes out.
    keyValues->setPropertyValue("token-1", "zarn_public_token");
    run(context);
    EXPECT_EQ(remote->loads, 1);
}

TEST_F(NotificationServiceTest, ClearingDataLetsTheNextTokenFetchAtOnceAndForgetsTheSegmentationHistory) {
    keyValues->setPropertyValue("token-1", "zarn_public_token");
    run(nullptr);
    ASSERT_EQ(remote->loads, 1);
    // Within the hour the next foreground run does not fetch again...
    run(nullptr);
    EXPECT_EQ(remote->loads, 1);
    EXPECT_EQ(runEnds->ended.size(), 1u);

    history->saveSegmentationIdsTrigger({"seg"}, 100);
    ZarnPSegmentationProperty rule("seg", "seg", ZarnPSegmentationOperatorGreaterThan,
                                   ZarnPSegmentationPropertyTypeCampaignHistory, 0, 1);
    ASSERT_EQ(
        ZarnPSegmentationHistoryDao::countForRule(history->findSegmentationHistoryCount({rule}, 50), rule),
        1);

    // ...but after the data is cleared for a new token it does.
    service->clearData();
    segmentation->clearData();
    EXPECT_FALSE(service->lastRequestedNotifications());
    EXPECT_FALSE(service->lastRequestedForceUpdate());
    EXPECT_EQ(remote->clears, 1);
    EXPECT_EQ(
        ZarnPSegmentationHistoryDao::countForRule(history->findSegmentationHistoryCount({rule}, 50), rule),
        0);
    keyValues->setPropertyValue("token-2", "zarn_public_token");
    run(nullptr);
    EXPECT_EQ(remote->loads, 2);
}

}  // namespace
}  // namespace zarn
