// The data-update exchange against the in-process test service: what is saved, what the delegate
// hears and which regions change after a save.
#include "device/exchange/ZarnPDataUpdateDao.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/ZarnPContext.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/exchange/ZarnPHttpDao.h"
#include "device/exchange/ZarnPHttpRequestCreator.h"
#include "device/exchange/ZarnPStoreEventsAndLoadNotificationsDelegate.h"
#include "device/exchange/ZarnPStoreEventsDelegate.h"
#include "device/system/ZarnPBatteryDao.h"
#include "device/system/ZarnPFenceDao.h"
#include "device/system/ZarnPNetworkDao.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "schema/dataupdate_generated.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/TestService.h"
#include "store/ZarnPGeohashReadDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/support/ExchangeSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

namespace fb = com::zarnkit::velto::dataupdate::fb;
using Strings = std::vector<std::string>;

// The service's creator, or none at all when the body cannot be made.
class SwitchableCreator final : public ZarnPHttpRequestCreator {
  public:
    explicit SwitchableCreator(std::shared_ptr<ZarnPHttpRequestCreator> inner) : inner_(std::move(inner)) {}
    std::shared_ptr<ZarnPServiceResponseHttpRequest> createServiceResponseRequestWithUrl(
        const std::string& url, const std::string& method, const std::string& userName,
        const std::string& publicToken, const std::string& bodyData, const std::string& type,
        std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate,
        std::shared_ptr<ZarnPBackgroundTaskDao> tasks, std::shared_ptr<ZarnPContext> context) override {
        if (refuse)
            return nullptr;
        return inner_->createServiceResponseRequestWithUrl(url, method, userName, publicToken, bodyData, type,
                                                           std::move(delegate), std::move(tasks),
                                                           std::move(context));
    }
    std::shared_ptr<ZarnPRawHttpRequest> createRawRequestWithUrl(
        const std::string& url, const std::string& method, const std::string& userName,
        const std::string& publicToken, const std::string& bodyData, const std::string& type,
        std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate, std::shared_ptr<ZarnPBackgroundTaskDao> tasks,
        std::shared_ptr<ZarnPContext> context, ZarnPDataUpdateReadFunction reader) override {
        if (refuse)
            return nullptr;
        return inner_->createRawRequestWithUrl(url, method, userName, publicToken, bodyData, type,
                                               std::move(delegate), std::move(tasks), std::move(context),
                                               std::move(reader));
    }
    bool refuse = false;

  private:
    std::shared_ptr<ZarnPHttpRequestCreator> inner_;
};

class RecordingFences final : public test::IgnoringFences {
  public:
    void replaceNotifications(const std::vector<ZarnPGeofence>&,
                              const std::optional<std::vector<std::string>>&) override {
        calls.push_back("replaceNotifications");
    }
    void monitorGeofenceNotifications(const std::vector<ZarnPGeofence>& geofences) override {
        calls.push_back("monitorGeofences:" + std::to_string(geofences.size()));
    }
    void replaceBeaconNotifications(const std::vector<std::string>& uuids) override {
        std::string joined;
        for (const auto& u : uuids) joined += (joined.empty() ? "" : ",") + u;
        calls.push_back("replaceBeacons:" + joined);
    }
    void removeAllFences() override { calls.push_back("removeAll"); }
    Strings calls;
};

struct LoadCompletion {
    std::size_t events = 0;
    std::string token;
    bool storeEvents = false;
    std::optional<Error> error;
};

class RecordingLoadDelegate final : public ZarnPStoreEventsAndLoadNotificationsDelegate {
  public:
    void loadNotificationsCompleted(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                                    const std::string& publicToken, bool storeEvents,
                                    const std::shared_ptr<ZarnPContext>&,
                                    const std::optional<Error>& error) override {
        calls.push_back({events.size(), publicToken, storeEvents, error});
    }
    std::vector<LoadCompletion> calls;
};

class DataUpdateExchangeTest : public ::testing::Test {
  protected:
    // The stores are made and first used on the SDK thread, where the exchange uses them.
    void SetUp() override {
        timer->invokeBlockOnRunLoop([this] { build(); }, true);
    }

    void build() {
        stores = std::make_unique<test::ExchangeStores>(
            env.path("Documents/zarn.db"), platform::current().fileSystem, env.time, *env.device);
        stores->keyValues->setPropertyValue("token-1", setting::kPublicToken);
        stores->publicLog->setEnabled(true);
        creator = std::make_shared<SwitchableCreator>(service->requestCreator());
        dao = ZarnPDataUpdateDao::create(stores->collaborators(
            std::make_shared<ZarnPHttpDao>(tasks, test::verifyingReader, creator,
                                           "https://service.test/v2/client/"),
            "service.test", fences,
            [this](const fb::DataUpdateResponseDTO& root, const std::shared_ptr<ZarnPContext>&) {
                savedDeleteAll.push_back(root.deleteAllOldData());
                if (failSave)
                    throw std::runtime_error("disk I/O error");
                return outcome;
            },
            [this] { ++invalidations; }));
    }

    std::vector<std::shared_ptr<ZarnPEvent>> someEvents(int n) {
        std::vector<std::shared_ptr<ZarnPEvent>> events;
        for (int i = 0; i < n; ++i)
            events.push_back(std::make_shared<ZarnPEvent>(
                "e" + std::to_string(i), 7, dateWithTimeIntervalSince1970(test::TestEnvironment::kStart),
                Value::object()));
        return events;
    }

    // One load on the SDK thread with `n` events and the token, run until it has completed.
    void load(const std::string& token, int n = 2) {
        timer->invokeBlockOnRunLoop(
            [&] {
                dao->storeEventsAndLoadNotifications(someEvents(n), nullptr, true, true, token, std::nullopt,
                                                     std::nullopt, Value::object(), delegate, nullptr);
            },
            true);
        env.runUntilIdle();
    }

    test::TestEnvironment env;
    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
    std::shared_ptr<ZarnPSystemTimerDao> timer =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    std::shared_ptr<ZarnPSystemBackgroundTaskDao> tasks = std::make_shared<ZarnPSystemBackgroundTaskDao>(
        timer, env.device->backgroundTasks(), env.device->application());
    std::unique_ptr<test::ExchangeStores> stores;
    std::shared_ptr<SwitchableCreator> creator;
    std::shared_ptr<RecordingFences> fences = std::make_shared<RecordingFences>();
    std::shared_ptr<RecordingLoadDelegate> delegate = std::make_shared<RecordingLoadDelegate>();
    std::shared_ptr<ZarnPDataUpdateDao> dao;
    ZarnPDataUpdateSaveOutcome outcome;
    bool failSave = false;
    std::vector<bool> savedDeleteAll;
    int invalidations = 0;
};

TEST_F(DataUpdateExchangeTest, WithoutABodyTheDelegateCompletesAtOnceAndNothingIsSent) {
    creator->refuse = true;
    load("token-1", 3);
    EXPECT_EQ(service->requestCount(), 0u);
    ASSERT_EQ(delegate->calls.size(), 1u);
    // The events come back to be kept: the run completes and nothing is lost.
    EXPECT_EQ(delegate->calls[0].events, 3u);
    EXPECT_EQ(delegate->calls[0].token, "token-1");
    EXPECT_TRUE(delegate->calls[0].storeEvents);
    EXPECT_EQ(delegate->calls[0].error, (Error{"Zarn", -3, "Failed to convert to json"}));
    EXPECT_TRUE(savedDeleteAll.empty());
}

TEST_F(DataUpdateExchangeTest, EachKindOfReplyIsSavedOnlyWhenItIsAFreshUpdateForTheStoredToken) {
    struct Row {
        const char* name;
        sim::TestAnswer answer;
        std::optional<std::string> tokenAfterRequest;  // the stored token once the request left
        bool saved;
        bool failed;
        bool ignoredAsEmpty;
    };
    const Row rows[] = {
        {"a full update", {}, std::nullopt, true, false, false},
        {"204 without a body", {sim::TestAnswer::Kind::Empty, 204}, std::nullopt, false, false, true},
        {"a corrupt body", {sim::TestAnswer::Kind::Corrupt, 200}, std::nullopt, false, false, true},
        {"a reply for a replaced token", {}, "token-2", false, false, false},
        {"a server error", {sim::TestAnswer::Kind::Empty, 500}, std::nullopt, false, true, false},
        {"a dropped connection", {sim::TestAnswer::Kind::Drop, 200}, std::nullopt, false, true, false},
    };
    service->setDataUpdate(sim::DataUpdateBuilder::build({.deleteAllOldData = true}));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        timer->invokeBlockOnRunLoop(
            [&] { stores->keyValues->setPropertyValue("token-1", setting::kPublicToken); }, true);
        delegate->calls.clear();
        savedDeleteAll.clear();
        invalidations = 0;
        int emptyBefore = env.consoleCount("Ignoring empty response");
        service->queueAnswer(row.answer);
        if (row.tokenAfterRequest) {
            // The token changes while the request is out: the answer arrives after the switch.
            timer->invokeBlockOnRunLoop(
                [&] {
                    dao->storeEventsAndLoadNotifications(someEvents(2), nullptr, true, true, "token-1",
                                                         std::nullopt, std::nullopt, Value::object(),
                                                         delegate, nullptr);
                    stores->keyValues->setPropertyValue(*row.tokenAfterRequest, setting::kPublicToken);
                },
                true);
            env.runUntilIdle();
        } else {
            load("token-1");
        }
        ASSERT_EQ(delegate->calls.size(), 1u);
        EXPECT_EQ(delegate->calls[0].token, "token-1");
        EXPECT_EQ(delegate->calls[0].events, 2u);
        EXPECT_EQ(delegate->calls[0].error.has_value(), row.failed);
        EXPECT_EQ(savedDeleteAll, row.saved ? std::vector<bool>{true} : std::vector<bool>{});
        // The nearest-query cache is forgotten after each save, and only then.
        EXPECT_EQ(invalidations, row.saved ? 1 : 0);
        EXPECT_EQ(env.consoleCount("Ignoring empty response") > emptyBefore, row.ignoredAsEmpty);
    }
    EXPECT_TRUE(env.consoleContains("the public token changed"));
}

TEST_F(DataUpdateExchangeTest, RegionsAfterASaveKeepStillWantedBeaconsAndUntouchedTiles) {
    struct Row {
        const char* name;
        ZarnPDataUpdateSaveOutcome outcome;
        Strings calls;
    };
    const Row rows[] = {
        // Beacons wanted again stay monitored: no exit for a region the device is still in.
        {"full update with beacons",
         {true, {"B1"}, {"B1", "B2"}},
         {"monitorGeofences:0", "replaceBeacons:B1,B2"}},
        {"full update without beacons", {true, {}, {}}, {"removeAll", "replaceBeacons:"}},
        // A partial update hands on every stored beacon, not only its own.
        {"partial update with beacons", {false, {"B3"}, {"B1", "B3"}}, {"replaceBeacons:B1,B3"}},
        {"partial update without beacons", {false, {}, {"B1"}}, {}},
    };
    service->setDataUpdate(sim::DataUpdateBuilder::build({}));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fences->calls.clear();
        outcome = row.outcome;
        load("token-1");
        EXPECT_EQ(fences->calls, row.calls);
    }
    EXPECT_EQ(invalidations, 4);
}

TEST_F(DataUpdateExchangeTest, AnEventGoesOutInOneRequestAtATime) {
    struct StoreDelegate final : ZarnPStoreEventsDelegate {
        void storeEventsCompleted(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                                  const std::optional<Error>& error, std::shared_ptr<ZarnPContext>) override {
            calls.push_back({events.size(), "", false, error});
        }
        std::vector<LoadCompletion> calls;
    };
    auto store = std::make_shared<StoreDelegate>();
    auto ids = [](const sim::RecordedRequest& r) {
        Strings out;
        for (const auto& e : r.json->at("events")) out.push_back(e.at("localId").get<std::string>());
        return out;
    };
    service->queueAnswer({sim::TestAnswer::Kind::Empty, 503});
    // Both uploads start before either answer is in: the second must not carry the first's events.
    timer->invokeBlockOnRunLoop(
        [&] {
            dao->storeEvents(someEvents(2), "token-1", std::nullopt, std::nullopt, Value(), store);
            dao->storeEventsAndLoadNotifications(someEvents(3), nullptr, true, true, "token-1", std::nullopt,
                                                 std::nullopt, Value::object(), delegate, nullptr);
            // Everything is already out: no request, no completion.
            dao->storeEvents(someEvents(2), "token-1", std::nullopt, std::nullopt, Value(), store);
        },
        true);
    env.runUntilIdle();
    auto requests = service->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(ids(requests[0]), (Strings{"e0", "e1"}));
    EXPECT_EQ(ids(requests[1]), (Strings{"e2"}));
    ASSERT_EQ(store->calls.size(), 1u);
    EXPECT_TRUE(store->calls[0].error);  // the 503
    ASSERT_EQ(delegate->calls.size(), 1u);
    EXPECT_EQ(delegate->calls[0].events, 1u);  // only what it carried is deleted

    // Once the failed upload has come back, its events go again.
    timer->invokeBlockOnRunLoop(
        [&] { dao->storeEvents(someEvents(3), "token-1", std::nullopt, std::nullopt, Value(), store); },
        true);
    env.runUntilIdle();
    requests = service->requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(ids(requests[2]), (Strings{"e0", "e1", "e2"}));
}

TEST_F(DataUpdateExchangeTest, AFailedSaveIsLoggedLeavesRegionsAndCacheAndStillCompletes) {
    service->setDataUpdate(sim::DataUpdateBuilder::build({.deleteAllOldData = true}));
    outcome = {true, {}, {}};
    failSave = true;
    load("token-1");
    EXPECT_EQ(savedDeleteAll.size(), 1u);
    EXPECT_TRUE(fences->calls.empty());
    EXPECT_EQ(invalidations, 0);
    EXPECT_TRUE(env.consoleContains("Error during saving dataupdate due to: disk I/O error"));
    ASSERT_EQ(delegate->calls.size(), 1u);
    EXPECT_FALSE(delegate->calls[0].error);

    // A pushed update goes through the same save; with no root nothing is saved.
    failSave = false;
    timer->invokeBlockOnRunLoop([&] { dao->saveDataUpdate(nullptr, nullptr); }, true);
    EXPECT_EQ(savedDeleteAll.size(), 1u);
    EXPECT_TRUE(env.consoleContains("Ignoring empty response"));
}

}  // namespace
}  // namespace zarn
