// Push on the whole library: the simulated system hands each remote notification to the app,
// which forwards it through the public entry, as an app does. Subscriptions follow the public
// token; a payload of every shape ends its fetch exactly once, and only a decodable data update
// reaches the store and, through the mediator's delegate, sets a location update going.
#include <gtest/gtest.h>

#include <memory>

#include "core/ZarnPDataHelper.h"
#include "core/ZarnPGzipHelper.h"
#include "device/push/ZarnPGCMClient.h"
#include "device/push/ZarnPGCMMediator.h"
#include "sim/Device.h"
#include "sim/SimBackgroundTasks.h"
#include "sim/service/DataUpdateBuilder.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"

namespace zarn {
namespace {

std::string payloadOf(const std::vector<std::uint8_t>& bytes) {
    auto gz = ZarnPGzipHelper::gzipDeflate(std::span<const std::uint8_t>(bytes));
    return ZarnPDataHelper::base64EncodedStringSingleLine(std::span<const std::uint8_t>(*gz));
}

std::vector<std::uint8_t> oneCampaignUpdate() {
    return sim::DataUpdateBuilder::build(
        {.campaigns = {{.campaignId = "c1", .message = "hello"}},
         .tiles = {{.value = "u33d",
                    .notifications = {{.campaign = "c1",
                                       .geofenceId = "g1",
                                       .location = sim::DataUpdateLocation{52.52f, 13.40f},
                                       .matchRange = 100}}}}});
}

class PushTest : public test::StartedLibraryTest {
  protected:
    void SetUp() override {
        StartedLibraryTest::SetUp();
        push = env.device->pushService();
        push->setAppHandlers(
            [](const std::string& token) {
                ZarnBase::didRegisterForRemoteNotificationsWithDeviceToken(token);
            },
            [](const Value& payload, sim::SimPushService::FetchCompletion completion) {
                ZarnBase::didReceiveRemoteNotification(payload, std::move(completion));
            });
        push->setSystemDeviceToken("device-token-1");
        push->refreshRegistrationToken("registration-1");
    }

    void initializeWith(const std::string& token, bool quickSyncDisabled = false) {
        auto c = ZarnConfiguration::create();
        c->setPublicToken(token);
        c->setQuickSyncDisabled(quickSyncDisabled);
        c->setDelegate(std::make_shared<ZarnDelegate>());
        ZarnBase::performInitializationWithConfiguration(c);
        env.runUntilIdle();
    }

    long long campaigns() {
        auto g = ground();
        return g->onSdk([&] { return g->count("SELECT COUNT(*) FROM campaign"); });
    }
    std::vector<std::string> storedTokens() {
        auto g = ground();
        return g->onSdk([&] {
            return g->settings()
                ->getStringArrayPropertyValueForKey("zarn_gcm_public_tokens")
                .value_or(std::vector<std::string>{"<unreadable>"});
        });
    }
    // The location updates begun: each takes a background task first, and a pushed update that
    // reached the notification service begins one.
    size_t locationUpdatesBegun() { return env.device->backgroundTasks()->begunBackgroundTasks().size(); }

    std::shared_ptr<sim::SimPushService> push;
};

TEST_F(PushTest, SubscriptionFollowsThePublicTokenThroughRegistrationRefreshAndAChange) {
    initializeWith("token-1");
    ASSERT_TRUE(module());
    EXPECT_EQ(push->configureCount(), 1);
    EXPECT_EQ(push->registrationCount(), 1);
    // The device token went to the messaging service for production (no debug launch).
    ASSERT_EQ(push->deviceTokens().size(), 1u);
    EXPECT_EQ(push->deviceTokens()[0].first, "device-token-1");
    EXPECT_EQ(push->deviceTokens()[0].second, platform::PushTokenType::Production);
    EXPECT_EQ(push->subscribedTopics(), (std::set<std::string>{"/topics/token-1_iosv2"}));
    EXPECT_EQ(storedTokens(), (std::vector<std::string>{"token-1"}));

    // A refreshed registration token renews the same topic and nothing else.
    push->refreshRegistrationToken("registration-2");
    env.runUntilIdle();
    EXPECT_EQ(push->topicLog(),
              (std::vector<std::string>{"+/topics/token-1_iosv2", "+/topics/token-1_iosv2"}));
    EXPECT_EQ(storedTokens(), (std::vector<std::string>{"token-1"}));

    // A new token: the old topic goes, the new one comes, and only the new token is kept.
    initializeWith("token-2");
    EXPECT_EQ(push->subscribedTopics(), (std::set<std::string>{"/topics/token-2_iosv2"}));
    EXPECT_EQ(push->topicLog().back(), "+/topics/token-2_iosv2");
    EXPECT_EQ(storedTokens(), (std::vector<std::string>{"token-2"}));
    EXPECT_TRUE(env.consoleContains("Unsubscribed to /topics/token-1_iosv2"));
    // Loading happens once per process.
    EXPECT_EQ(push->configureCount(), 1);
}

TEST_F(PushTest, EveryPayloadShapeEndsItsFetchOnceAndOnlyADataUpdateIsSaved) {
    initializeWith("token-1");
    ASSERT_TRUE(module());

    std::string plainBase64 = ZarnPDataHelper::base64EncodedStringSingleLine(std::string_view("plain text"));
    std::string garbage = payloadOf({'n', 'o', 't', ' ', 'a', 'n', ' ', 'u', 'p', 'd', 'a', 't', 'e'});
    std::string valid = payloadOf(oneCampaignUpdate());
    std::string truncated = valid.substr(0, valid.size() / 2);
    // Zeros that inflate one byte past the limit.
    std::string bomb = payloadOf(std::vector<std::uint8_t>(ZarnPGzipHelper::kDefaultMaxInflatedSize + 1, 0));
    std::string uncompressed =
        ZarnPDataHelper::base64EncodedStringSingleLine(std::span<const std::uint8_t>(oneCampaignUpdate()));

    // A gzip stream whose content is empty.
    const std::string gzipOfNothing = "H4sIAAAAAAAAAwMAAAAAAAAAAAA=";
    const std::string readerLine = "Failed to read data update response";

    // `read`: the payload got through both decoding steps and the reader refused it with its own
    // line. No step of the decoding logs on failure: a WARN would reach the service as an error.
    struct Row {
        const char* name;
        Value userInfo;
        BackgroundFetchResult result;
        bool saved;
        bool read = false;
        bool refusedAsNotText = false;  // the one shape that logs a WARN of its own
    };
    const Row rows[] = {
        {"no payload key", {{"aps", {{"content-available", 1}}}}, BackgroundFetchResult::NoData, false},
        {"not a dictionary", Value::array({1, 2}), BackgroundFetchResult::NoData, false},
        {"a number", {{"zarn_v2", 42}}, BackgroundFetchResult::NewData, false, false, true},
        {"a dictionary", {{"zarn_v2", {{"a", 1}}}}, BackgroundFetchResult::NewData, false, false, true},
        {"null", {{"zarn_v2", nullptr}}, BackgroundFetchResult::NewData, false, false, true},
        {"empty text", {{"zarn_v2", ""}}, BackgroundFetchResult::NewData, false, true},
        {"no Base64", {{"zarn_v2", "%%%%"}}, BackgroundFetchResult::NewData, false, true},
        {"Base64 of no gzip", {{"zarn_v2", plainBase64}}, BackgroundFetchResult::NewData, false},
        {"gzip of nothing", {{"zarn_v2", gzipOfNothing}}, BackgroundFetchResult::NewData, false, true},
        {"gzip of no update", {{"zarn_v2", garbage}}, BackgroundFetchResult::NewData, false, true},
        {"a truncated stream", {{"zarn_v2", truncated}}, BackgroundFetchResult::NewData, false},
        {"an update not compressed", {{"zarn_v2", uncompressed}}, BackgroundFetchResult::NewData, false},
        {"inflating past 64 MiB", {{"zarn_v2", bomb}}, BackgroundFetchResult::NewData, false},
        {"a data update", {{"zarn_v2", valid}}, BackgroundFetchResult::NewData, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        long long before = campaigns();
        size_t updates = locationUpdatesBegun();
        int readerLines = env.consoleCount(readerLine);
        int warnings = env.consoleCount("WARN|") + env.consoleCount("ERROR|");
        size_t index = push->deliver(row.userInfo);
        env.runUntilIdle();
        ASSERT_EQ(push->completionCounts().at(index), 1);
        EXPECT_EQ(push->fetchResults().at(index), row.result);
        EXPECT_EQ(campaigns() - before, row.saved ? 1 : 0);
        EXPECT_EQ(locationUpdatesBegun() - updates, row.saved ? 1u : 0u);
        EXPECT_EQ(env.consoleCount(readerLine) - readerLines, row.read ? 1 : 0);
        EXPECT_EQ(env.consoleCount("WARN|") + env.consoleCount("ERROR|") - warnings,
                  row.refusedAsNotText ? 1 : 0);
    }
    // The messaging service saw every payload for its own bookkeeping.
    EXPECT_EQ(push->receivedMessages().size(), std::size(rows));
}

TEST_F(PushTest, WithQuickSyncDisabledNothingIsSetUpAndADroppedMessageStillEndsWithNoData) {
    initializeWith("token-1", true);
    ASSERT_TRUE(module());
    EXPECT_EQ(push->configureCount(), 0);
    EXPECT_EQ(push->registrationCount(), 0);
    EXPECT_TRUE(push->subscribedTopics().empty());
    size_t index = push->deliver({{"zarn_v2", payloadOf(oneCampaignUpdate())}});
    env.runUntilIdle();
    EXPECT_EQ(push->completionCounts().at(index), 1);
    EXPECT_EQ(push->fetchResults().at(index), BackgroundFetchResult::NoData);
    EXPECT_EQ(campaigns(), 0);
}

TEST(PushTopicTest, TopicNameCarriesTheTokenAndThePlatformSuffix) {
    EXPECT_EQ(ZarnPGCMClient::getTopicName("abc"), "/topics/abc_iosv2");
    // Empty text decodes to no bytes and inflates to none: an empty update, not a failure.
    auto empty = ZarnPGCMMediator::decodeAndDecompressMessage("");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_FALSE(ZarnPGCMMediator::decodeAndDecompressMessage("bm90IGd6aXA="));
}

}  // namespace
}  // namespace zarn
