// App-reported regions on the real stores: the cache windows in virtual time, exact trigger
// properties, enter against exit with the dwelling cancel, the payload, the contextual page and
// the context released once the run is over.
#include "services/ZarnPExternalRegionService.h"

#include <gtest/gtest.h>

#include "core/ZarnPExternalRegionRequest.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnTriggerContext.h"
#include "device/ZarnPBackgroundTaskDao.h"
#include "services/ZarnPCurrentLocationGetting.h"
#include "services/ZarnPExternalRegionMatchingService.h"
#include "sim/Device.h"
#include "tests/support/BeaconDoubles.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

using sim::DataUpdateCampaign;
using sim::DataUpdateNotification;

// Answers each request later, as a fix does, with `next` (nothing when unset), counting the
// requests.
class LaterLocation final : public ZarnPCurrentLocationGetting {
  public:
    void performFullUpdateOrGetCurrentLocationWithCompletionHandler(CompletionHandler handler,
                                                                    std::shared_ptr<ZarnPContext>) override {
        ++requests;
        pending.push_back(std::move(handler));
    }
    void answer() {
        auto handlers = std::move(pending);
        pending.clear();
        for (auto& h : handlers) h(next);
    }
    std::vector<CompletionHandler> pending;
    std::shared_ptr<ZarnPLocationWithAccuracy> next;
    int requests = 0;
};

class CountingTasks final : public ZarnPBackgroundTaskDao {
  public:
    std::shared_ptr<ZarnPBackgroundTask> startBackgroundTask() override {
        ++started;
        return nullptr;
    }
    void endBackgroundTask(platform::BackgroundTaskIdentifier) override {}
    int started = 0;
};

DataUpdateNotification external(std::string campaign, std::string id,
                                std::vector<sim::DataUpdateKeyValue> properties) {
    return {.campaign = std::move(campaign),
            .geofenceId = std::move(id),
            .triggerProperties = std::move(properties)};
}

std::vector<std::string> shortIds(const std::vector<ZarnPNotification>& list) {
    std::vector<std::string> out;
    for (const auto& n : list) out.push_back(n.getShortId());
    return out;
}

const Value kStoreFloor1 = Value::array({{{"kind", "store"}, {"floor", "1"}}});

class ExternalRegionServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        world.save({.campaigns = {{.campaignId = "shop", .message = "hi"},
                                  {.campaignId = "exit", .message = "bye", .triggerOnExit = true},
                                  {.campaignId = "dwell",
                                   .message = "stay",
                                   .dwellingMinutes = 5,
                                   .experimentId = "exp",
                                   .experimentMessageId = 2},
                                  {.campaignId = "page", .data = "page data", .handlerType = 5},
                                  {.campaignId = "other", .message = "elsewhere"}},
                    .tiles = {{.value = "u33",
                               .notifications = {external("shop", "r1", {{"kind", "store"}, {"floor", "1"}}),
                                                 external("exit", "r2", {{"kind", "store"}, {"floor", "1"}}),
                                                 external("dwell", "r3", {{"kind", "store"}, {"floor", "1"}}),
                                                 external("page", "r4", {{"kind", "store"}, {"floor", "1"}}),
                                                 external("other", "r5", {{"kind", "gate"}})}}}});
        matching = std::make_shared<ZarnPExternalRegionMatchingService>(
            ZarnPExternalRegionMatchingService::Collaborators{
                .notificationDao = world.externalDao,
                .notificationReadDao = world.read,
                .clockDao = world.clock,
                .commonMatchService = world.common,
                .contextService = world.contextService,
                .segmentationHistoryDao = world.history,
                .contextualPageDao = world.contextualPages,
                .publicLogDao = world.publicLog,
                .eventService = world.eventService,
            });
        service = std::make_shared<ZarnPExternalRegionService>(ZarnPExternalRegionService::Collaborators{
            .regionMatching = matching,
            .contextService = world.contextService,
            .locationUpdateService = locations,
            .clockDao = world.clock,
            .publicLogDao = world.publicLog,
            .backgroundTaskDao = tasks,
        });
    }

    // One match on the loaded cache; the notifications it offered (none when it offered nothing).
    std::vector<ZarnPNotification> match(const Value& properties, int type, const Value& payload = Value()) {
        auto before = world.common->offered.size();
        auto context = world.context(ZarnTriggerContextExternal);
        matching->checkForExternalRegionMatches(properties, type, payload, nullptr, context);
        if (world.common->offered.size() == before) {
            EXPECT_EQ(context->referenceCount(), -1) << "an empty offer releases the context";
            return {};
        }
        EXPECT_EQ(world.common->offered.back().regionType, 2);
        return world.common->offered.back().notifications;
    }

    void report(int type = 0) {
        service->regionTrigger(
            std::make_shared<ZarnPExternalRegionRequest>(kStoreFloor1, type, Value::object()));
        locations->answer();
    }

    test::TestEnvironment env;
    test::MatchingWorld world{env};
    std::shared_ptr<LaterLocation> locations = std::make_shared<LaterLocation>();
    std::shared_ptr<CountingTasks> tasks = std::make_shared<CountingTasks>();
    std::shared_ptr<ZarnPExternalRegionMatchingService> matching;
    std::shared_ptr<ZarnPExternalRegionService> service;
    std::shared_ptr<ZarnPLocationWithAccuracy> here =
        std::make_shared<ZarnPLocationWithAccuracy>(52.0, 13.0, 10);
};

TEST_F(ExternalRegionServiceTest, TriggerPropertiesMatchOnlyAsAWhole) {
    matching->refreshCache(*here);
    struct Case {
        const char* name;
        Value properties;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"the same keys and values", kStoreFloor1, true},
        {"one of several reported regions", Value::array({{{"kind", "gate"}, {"x", "1"}}, kStoreFloor1[0]}),
         true},
        {"an extra key", Value::array({{{"kind", "store"}, {"floor", "1"}, {"x", "y"}}}), false},
        {"a missing key", Value::array({{{"kind", "store"}}}), false},
        {"another value", Value::array({{{"kind", "store"}, {"floor", "2"}}}), false},
        {"a number for a text", Value::array({{{"kind", "store"}, {"floor", 1}}}), false},
        {"an empty region", Value::array({Value::object()}), false},
        {"entries that are no regions", Value::array({"kind", 3, nullptr}), false},
        {"a region that is no list", kStoreFloor1[0], false},
        {"nothing", Value(), false},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> expected =
            c.matches ? std::vector<std::string>{"shop;r1", "dwell;r3"} : std::vector<std::string>{};
        EXPECT_EQ(shortIds(match(c.properties, 0)), expected) << c.name;
    }
    EXPECT_EQ(shortIds(match(Value::array({{{"kind", "gate"}}}), 0)), std::vector<std::string>{"other;r5"});
}

TEST_F(ExternalRegionServiceTest, EnterAndExitOfferTheirOwnAndAnExitEndsTheDwellingByItsFullId) {
    matching->refreshCache(*here);

    // Enter: never the exit notification; the contextual page is stored, not offered.
    EXPECT_EQ(shortIds(match(kStoreFloor1, 0)), (std::vector<std::string>{"shop;r1", "dwell;r3"}));
    EXPECT_EQ(world.contextualPages->getClosestContextualPage()->value("id", ""), "page;r4");
    auto pages = world.events(ZarnPLogEventTypeContextualPageTriggered);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]->extra().value("data", ""), "page data");
    EXPECT_TRUE(world.common->cancelled.empty());

    // Exit while dwelling: only the exit notification; the dwelling is cancelled under the
    // identifier the dwelling set holds, in the external state.
    world.externalDao->markUserStartedDwelling("dwell;r3;exp;2", "m-1",
                                               dateByAddingTimeInterval(world.clock->now(), 300));
    EXPECT_EQ(shortIds(match(kStoreFloor1, 1)), std::vector<std::string>{"exit;r2"});
    ASSERT_EQ(world.common->cancelled.size(), 1u);
    EXPECT_EQ(world.common->cancelled[0].identifiers, std::set<std::string>{"dwell;r3;exp;2"});
    EXPECT_EQ(world.common->cancelled[0].regionType, 2);

    // A type that is neither offers nothing and releases the context.
    EXPECT_TRUE(match(kStoreFloor1, 7).empty());
}

TEST_F(ExternalRegionServiceTest, AGivenPayloadReplacesTheNotificationsOwnAndAnEmptyOneKeepsIt) {
    matching->refreshCache(*here);
    for (const auto& n : match(kStoreFloor1, 0, Value{{"visit", "42"}, {"count", 3}}))
        EXPECT_EQ(n.matchPayload(), (ZarnPNotification::StringDictionary{{"visit", "42"}, {"count", "3"}}));
    for (const auto& payload : {Value::object(), Value(), Value("not a dictionary")})
        for (const auto& n : match(kStoreFloor1, 0, payload))
            EXPECT_TRUE(n.matchPayload().empty()) << payload;
}

TEST_F(ExternalRegionServiceTest, TheCacheServesAMinuteWithoutAskingAndAQuarterHourWithoutALocation) {
    struct Case {
        const char* name;
        double secondsAfterRefresh;
        bool locationComes;
        bool asks;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"30 s later", 30, false, false, true},
        {"60 s later", 60, false, false, true},
        {"61 s later, no location", 61, false, true, true},
        {"5 min later, no location", 300, false, true, true},
        {"15 min later, no location", 900, false, true, true},
        {"20 min later, no location", 1200, false, true, false},
        {"20 min later with a location", 1200, true, true, true},
    };
    // Before any refresh and without a location nothing matches.
    locations->next = nullptr;
    report();
    EXPECT_TRUE(world.common->offered.empty());
    EXPECT_EQ(locations->requests, 1);

    for (const auto& c : cases) {
        // A refresh: a report on a stale cache that asks and gets a location.
        env.advanceBy(1000);
        locations->next = here;
        report();
        env.advanceBy(c.secondsAfterRefresh);
        locations->next = c.locationComes ? here : nullptr;
        auto asked = locations->requests;
        auto offered = world.common->offered.size();
        auto reported = world.events(ZarnPLogEventTypeDebuglogEntry).size();
        report();
        EXPECT_EQ(locations->requests - asked, c.asks ? 1 : 0) << c.name;
        ASSERT_EQ(world.common->offered.size() - offered, c.matches ? 1u : 0u) << c.name;
        // The run's debug log is reported once, when the run is over, and holds the run.
        auto logs = world.events(ZarnPLogEventTypeDebuglogEntry);
        ASSERT_EQ(logs.size(), reported + 1) << c.name;
        auto contents = logs.back()->extra().value("contents", "");
        EXPECT_NE(contents.find("Checking external regions for ENTER"), std::string::npos) << c.name;
        EXPECT_EQ(contents.find("Offering 2 external notifications") != std::string::npos, c.matches)
            << c.name;
        EXPECT_EQ(contents.find("Failed to check for external region trigger: current location unknown.") !=
                      std::string::npos,
                  !c.matches)
            << c.name;
    }
    EXPECT_EQ(tasks->started, 1 + 2 * static_cast<int>(cases.size()));
}

}  // namespace
}  // namespace zarn
