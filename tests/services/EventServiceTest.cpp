#include "services/ZarnPEventService.h"

#include <gtest/gtest.h>

#include "core/ZarnPContext.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "core/ZarnTriggerContext.h"
#include "device/exchange/ZarnPRemoteEventAndNotificationDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/settings/ZarnPBaseKeyValueDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {
namespace {

// Records each upload and answers it when the test says so.
class RecordingRemoteDao final : public test::EventsOnlyRemote {
  public:
    struct Request {
        std::vector<std::shared_ptr<ZarnPEvent>> events;
        std::string token;
        std::shared_ptr<ZarnPStoreEventsDelegate> delegate;
    };
    void storeEvents(const std::vector<std::shared_ptr<ZarnPEvent>>& events, const std::string& publicToken,
                     const std::optional<std::string>&, std::optional<bool>, const Value&,
                     std::shared_ptr<ZarnPStoreEventsDelegate> delegate) override {
        requests.push_back({events, publicToken, std::move(delegate)});
    }
    void answer(size_t i, std::optional<Error> error = std::nullopt) {
        requests.at(i).delegate->storeEventsCompleted(requests.at(i).events, error, nullptr);
    }
    std::vector<Request> requests;
};

class EventServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db = std::make_shared<ZarnPSqLiteDb>(22, env.path("Documents/zarn.db"),
                                             zarn::platform::current().fileSystem);
        db->disableThreadCheck();
        eventDao = std::make_shared<ZarnPSqLiteEventDao>(db);
        stringDao = std::make_shared<ZarnPSqLiteKeyValueDao>(db);
        keyValueDao = std::make_shared<ZarnPBaseKeyValueDao>(stringDao->stringKeyValueDao());
        center = std::make_shared<platform::NotificationCenter>();
        service = ZarnPEventService::create(eventDao, keyValueDao, std::make_shared<ZarnPUuidGenerator>(),
                                            std::make_shared<test::FreshSegmentation>(), remote,
                                            std::make_shared<ZarnPSystemClockDao>(env.time), center);
        keyValueDao->setPropertyValue("token-1", "zarn_public_token");
    }
    // A waiting request holds the service as its delegate, as a real upload does until it answers.
    void TearDown() override { remote->requests.clear(); }

    void store(int n, unsigned type = ZarnPLogEventTypeHeartbeat) {
        for (int i = 0; i < n; ++i) service->logEventWithType(type, Value{{"i", std::to_string(i)}}, nullptr);
    }

    test::TestEnvironment env;
    std::shared_ptr<ZarnPSqLiteDb> db;
    std::shared_ptr<ZarnPSqLiteEventDao> eventDao;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> stringDao;
    std::shared_ptr<ZarnPBaseKeyValueDao> keyValueDao;
    std::shared_ptr<platform::NotificationCenter> center;
    std::shared_ptr<RecordingRemoteDao> remote = std::make_shared<RecordingRemoteDao>();
    std::shared_ptr<ZarnPEventService> service;
};

TEST_F(EventServiceTest, StoredEventCarriesContextIdentityAndIsDatedByTheClock) {
    auto context = std::make_shared<ZarnPContext>(ZarnTriggerContextGeofence, std::string("abc"),
                                                  platform::timeSource()->now());
    env.advanceBy(12.5);
    service->logEventWithType(ZarnPLogEventTypeNotificationSent,
                              Value{{"notification_id", "c;r"}, {"trigger", "x"}}, context);
    auto events = eventDao->getEvents();
    ASSERT_EQ(events.size(), 1u);
    const Value& extra = events[0]->extra();
    EXPECT_EQ(extra["notification_id"], "c;r");
    EXPECT_EQ(extra["trigger"], "geofence");  // the context's entries replace same-named ones
    EXPECT_EQ(extra["trigger_details"], "abc");
    EXPECT_EQ(extra["context_id"], context->uuidString());
    EXPECT_EQ(timeIntervalSince1970(events[0]->date()), test::TestEnvironment::kStart + 12.5);
    EXPECT_EQ(events[0]->identifier().size(), 36u);
}

TEST_F(EventServiceTest, StoreEventsSwitchOffDropsEvents) {
    keyValueDao->setBoolPropertyValue(false, "zarn_store_events");
    store(1);
    EXPECT_EQ(eventDao->getEventCount(), 0);
    EXPECT_TRUE(env.consoleContains("Ignoring event: heartbeat Data: "));
}

TEST_F(EventServiceTest, CappedTypesKeepTheNewest) {
    for (int i = 0; i < 16; ++i) {
        service->logEventWithType(ZarnPLogEventTypeError, Value{{"i", i}}, nullptr);
        env.advanceBy(1);
    }
    store(3, ZarnPLogEventTypeAttribution);
    auto events = eventDao->getEvents();
    int errors = 0, oldestKept = 100;
    for (auto& e : events)
        if (e->eventType() == ZarnPLogEventTypeError) {
            ++errors;
            oldestKept = std::min(oldestKept, e->extra()["i"].get<int>());
        }
    EXPECT_EQ(errors, 15);
    EXPECT_EQ(oldestKept, 1);  // the first error went
    EXPECT_EQ(eventDao->getEventCount(), 18);
}

TEST_F(EventServiceTest, UploadsOnlyAboveFiveWaitingEvents) {
    store(5);
    service->sendEventsIfNeeded();
    EXPECT_TRUE(remote->requests.empty());
    store(1);
    service->sendEventsIfNeeded();
    ASSERT_EQ(remote->requests.size(), 1u);
    EXPECT_EQ(remote->requests[0].events.size(), 6u);
    EXPECT_EQ(remote->requests[0].token, "token-1");
}

TEST_F(EventServiceTest, FailedUploadKeepsEveryEventSuccessfulDeletesExactlyThoseSent) {
    store(3);
    service->sendEvents();
    remote->answer(0, Error{"NSURLErrorDomain", -1009, "offline"});
    EXPECT_EQ(eventDao->getEventCount(), 4);  // three kept, plus the connectivity "error" event
    auto events = eventDao->getEvents();
    bool found = false;
    for (auto& e : events)
        if (e->eventType() == ZarnPLogEventTypeError) {
            found = true;
            EXPECT_EQ(e->extra()["message"], "kCFURLErrorNotConnectedToInternet");
            EXPECT_EQ(e->extra()["level"], "2");
            EXPECT_EQ(e->extra()["domain"], "sendevents");
        }
    EXPECT_TRUE(found);

    env.advanceBy(1);
    service->sendEvents();
    ASSERT_EQ(remote->requests.size(), 2u);
    store(2);  // stored while the upload is in flight
    remote->answer(1);
    EXPECT_EQ(eventDao->getEventCount(), 2);
}

TEST_F(EventServiceTest, OtherFailuresAreLoggedNotStoredThroughTheClassification) {
    store(1);
    service->sendEvents();
    remote->answer(0, Error{"zarn", -1, "HTTP status 500"});
    EXPECT_TRUE(env.consoleContains("ERROR|EventService| Error during sendevents - "));
    EXPECT_EQ(eventDao->getEventCount(), 1);
}

TEST_F(EventServiceTest, NoTokenNoUpload) {
    keyValueDao->unsetPropertyKey("zarn_public_token");
    store(1);
    service->sendEvents();
    EXPECT_TRUE(remote->requests.empty());
    EXPECT_TRUE(env.consoleContains("ERROR|EventService| Public token not yet initialized"));
}

TEST_F(EventServiceTest, SuspendIntervalSpacesUploads) {
    keyValueDao->setIntPropertyValue(600, "zarn_suspend_interval");
    store(1);
    service->sendEvents();
    env.advanceBy(599);
    service->sendEvents();
    EXPECT_EQ(remote->requests.size(), 1u);
    env.advanceBy(2);
    service->sendEvents();
    EXPECT_EQ(remote->requests.size(), 2u);
}

TEST_F(EventServiceTest, DisabledBroadcastTriggersAnUpload) {
    store(1);
    center->post("Zarn_Disabled");
    EXPECT_EQ(remote->requests.size(), 1u);
}

TEST_F(EventServiceTest, ClearSendsThenDeletesEverything) {
    service->sendAndClearEventsIfNonEmpty();
    EXPECT_TRUE(remote->requests.empty());
    store(2);
    service->sendAndClearEventsIfNonEmpty();
    EXPECT_EQ(remote->requests.size(), 1u);
    EXPECT_EQ(eventDao->getEventCount(), 0);
}

}  // namespace
}  // namespace zarn
