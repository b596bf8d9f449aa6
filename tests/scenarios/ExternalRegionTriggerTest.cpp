// The public region trigger: a type other than "enter" or "exit" is refused at the entry with an
// error line naming it and starts nothing; a valid one reaches the external-region entry, which starts its
// background task. Then the whole road: campaigns from the service, regions the app reports, and
// the notifications the app is offered and the user sees, also when the app answers late.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "sim/Device.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/TestService.h"
#include "tests/support/ScenarioDoubles.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnHooks.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

class ExternalRegionTriggerTest : public test::StartedLibraryTest {};

TEST_F(ExternalRegionTriggerTest, OnlyEnterAndExitReachTheExternalRegionEntry) {
    initialize();
    ASSERT_TRUE(ZarnBase::isEnabled());
    const Value region = Value::array({{{"kind", "store"}}});
    auto begun = [&] { return env.device->backgroundTasks()->begunBackgroundTasks().size(); };

    for (const std::string type : {"sideways", "EXIT", ""}) {
        auto before = begun();
        const std::string line = "ERROR|Zarn| Ignoring external region trigger of unknown type \"" + type +
                                 "\": the type is \"enter\" or \"exit\"";
        ZarnBase::externalRegionTrigger(region, type, Value{{"visit", "1"}});
        env.runUntilIdle();
        EXPECT_EQ(begun(), before) << type;
        EXPECT_EQ(env.consoleCount(line), 1) << type;
    }

    auto before = begun();
    ZarnBase::externalRegionTrigger(region, "exit");
    env.runUntilIdle();
    EXPECT_GT(begun(), before);
}

class ExternalRegionScenarioTest : public test::StartedLibraryTest {
  protected:
    void SetUp() override {
        test::installTestService(service);
        StartedLibraryTest::SetUp();
        filter.installOn(*app);
        auto region = [](const char* campaign, std::vector<sim::DataUpdateKeyValue> properties) {
            return sim::DataUpdateNotification{
                .campaign = campaign, .geofenceId = "r", .triggerProperties = std::move(properties)};
        };
        sim::DataUpdateDescription d{
            .deleteAllOldData = true,
            .campaigns = {{.campaignId = "lobby", .message = "Welcome to the lobby"},
                          {.campaignId = "leave", .message = "See you soon", .triggerOnExit = true},
                          {.campaignId = "roof", .message = "Up on the roof"},
                          {.campaignId = "door-a", .message = "Door A", .handlerType = 2},
                          {.campaignId = "door-b", .message = "Door B", .handlerType = 2},
                          {.campaignId = "vault", .message = "In the vault"},
                          {.campaignId = "safe", .message = "At the safe"}}};
        d.tiles.push_back(
            {.value = "u33d",
             .notifications = {region("lobby", {{"room", "lobby"}, {"floor", "0"}}),
                               region("leave", {{"room", "lobby"}, {"floor", "0"}}),
                               region("roof", {{"room", "roof"}}), region("door-a", {{"door", "north"}}),
                               region("door-b", {{"door", "north"}}),
                               // Properties the service sends without a value, or with an empty one.
                               region("vault", {{"room", "vault"}, {"code", std::nullopt}}),
                               region("safe", {{"room", "safe"}, {"code", ""}})}});
        service->setDataUpdate(sim::DataUpdateBuilder::build(d));
        env.location->position()->set({52.5200, 13.4000});
    }

    void start() {
        auto c = ZarnConfiguration::create();
        c->setPublicToken(std::string("token-1"));
        c->setDelegate(app);
        ZarnBase::performInitializationWithConfiguration(c);
        env.runUntilIdle();
        env.advanceBy(10);
    }
    // Reports, then lets the library run its course.
    void report(const Value& properties, const std::string& type, const Value& payload = Value::object()) {
        ZarnBase::externalRegionTrigger(properties, type, payload);
        env.advanceBy(5);
    }
    std::vector<NotificationRequest> shown() { return test::shownRequests(env); }
    size_t offerCount() { return filter.offers.size(); }

    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
    std::shared_ptr<ZarnDelegate> app = std::make_shared<ZarnDelegate>();
    test::RecordingFilter filter;  // shows all it is offered
};

TEST_F(ExternalRegionScenarioTest, ReportedRegionGetsItsNotificationOnlyOnAnExactPropertyMatch) {
    start();
    ASSERT_TRUE(ZarnBase::isEnabled());
    env.device->application()->resignActive();
    env.advanceBy(1);
    ASSERT_GE(service->requestCount(), 1u) << "the campaigns come from the service";

    // Near misses first, each one a report that would otherwise be notified: a value that
    // differs, a key too many, a key too few, and a region nobody has a campaign for.
    for (const Value& properties :
         {Value::array({{{"room", "lobby"}, {"floor", "1"}}}),
          Value::array({{{"room", "lobby"}, {"floor", "0"}, {"wing", "east"}}}),
          Value::array({{{"room", "lobby"}}}), Value::array({{{"room", "cellar"}}})}) {
        report(properties, "enter");
        EXPECT_EQ(offerCount(), 0u) << properties.dump();
        EXPECT_TRUE(shown().empty()) << properties.dump();
    }

    // The lobby exactly, among another reported region: its entry notification, not the exit one,
    // with the app's payload.
    report(Value::array({{{"room", "hall"}}, {{"floor", "0"}, {"room", "lobby"}}}), "enter",
           Value{{"visit", "v-17"}});
    ASSERT_EQ(offerCount(), 1u);
    ASSERT_EQ(shown().size(), 1u);
    auto lobby = shown()[0];
    EXPECT_EQ(lobby.content.body, "Welcome to the lobby");
    EXPECT_EQ(lobby.content.userInfo.value("matchPayload", Value()), (Value{{"visit", "v-17"}}));

    // Leaving the lobby: only the exit notification; the roof report still reaches its own.
    report(Value::array({{{"room", "lobby"}, {"floor", "0"}}}), "exit");
    report(Value::array({{{"room", "roof"}}}), "enter");
    EXPECT_EQ(test::bodiesOf(shown()),
              (std::vector<std::string>{"Welcome to the lobby", "See you soon", "Up on the roof"}));
    EXPECT_EQ(offerCount(), 3u);

    // What was stored for the service: one sent event each, the payload on the lobby's only.
    std::vector<Value> sent;
    for (auto& e : ground()->storedEvents())
        if (e->eventType() == ZarnPLogEventTypeNotificationSent)
            sent.push_back(e->extra());
    ASSERT_EQ(sent.size(), 3u);
    auto context = sent[0].value("context_id", "");
    EXPECT_EQ(context.size(), 36u);
    EXPECT_EQ(sent[0], (Value{{"notification_id", "lobby;r"},
                              {"match_id", lobby.identifier},
                              {"payload_visit", "v-17"},
                              {"trigger", "external"},
                              {"context_id", context}}));
    EXPECT_EQ(sent[1].value("notification_id", ""), "leave;r");
    EXPECT_FALSE(sent[1].contains("payload_visit"));
    EXPECT_EQ(sent[2].value("notification_id", ""), "roof;r");
    for (auto& extra : sent) EXPECT_EQ(extra.value("trigger", ""), "external");
    EXPECT_NE(sent[1].value("context_id", ""), context) << "each report runs in a context of its own";
    EXPECT_TRUE(env.device->backgroundTasks()->overdueBackgroundTasks().empty());
}

TEST_F(ExternalRegionScenarioTest, AKeptHookIsCarriedOutWhenItAnswersAfterDisable) {
    std::shared_ptr<ZarnFilterNotifications> kept;
    app->zarnFilterNotifications = [&](std::shared_ptr<ZarnFilterNotifications> hook) { kept = hook; };
    start();
    env.device->application()->resignActive();
    env.advanceBy(1);
    report(Value::array({{{"room", "lobby"}, {"floor", "0"}}}), "enter");
    ASSERT_TRUE(kept);
    EXPECT_TRUE(shown().empty()) << "nothing is shown while the hook waits";

    ZarnBase::disable();
    env.advanceBy(1);
    ASSERT_FALSE(ZarnBase::isEnabled());
    kept->showNotifications(kept->uiNotifications());
    kept.reset();
    env.advanceBy(5);
    EXPECT_EQ(test::bodiesOf(shown()), (std::vector<std::string>{"Welcome to the lobby"}));
    EXPECT_TRUE(env.device->backgroundTasks()->overdueBackgroundTasks().empty());
}

TEST_F(ExternalRegionScenarioTest, GeotriggersReachTheAppsHandlerAndOnlyOfferedOnesAreMarkedHandled) {
    std::vector<std::vector<std::string>> handed;
    app->zarnHandleGeotriggers = [&](std::shared_ptr<ZarnHandleGeotriggers> hook) {
        std::vector<std::string> messages;
        std::vector<std::shared_ptr<ZarnGeotrigger>> handled;
        for (auto& g : hook->geotriggers()) {
            messages.push_back(g->userInfo().value("message", ""));
            if (g->userInfo().value("message", "") == "Door A")
                handled.push_back(g);
            else {
                // One the hook never offered: the same geotrigger under a match id of its own.
                auto forged = ZarnGeotrigger::initializeWithUserInfo(g->userInfo());
                auto info = g->userInfo();
                info["matchIdentifier"] = "0123456789abcdef0123456789abcdef";
                forged->setUserInfo(info);
                handled.push_back(forged);
            }
        }
        std::sort(messages.begin(), messages.end());
        handed.push_back(messages);
        hook->markGeotriggersHandled(handled);
    };
    start();
    env.device->application()->resignActive();
    env.advanceBy(1);

    report(Value::array({{{"door", "north"}}}), "enter");
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], (std::vector<std::string>{"Door A", "Door B"}));
    EXPECT_EQ(offerCount(), 0u) << "geotriggers never go to the filter";
    EXPECT_TRUE(shown().empty()) << "nor to the user";
    EXPECT_TRUE(env.consoleContains("Ignoring a geotrigger that was not offered"));

    // Both recorded as sent, only the one the app handled among what it was offered as handled.
    auto sent = ZarnBase::sentGeotriggers();
    ASSERT_TRUE(sent);
    std::map<std::string, bool> handledByMessage;
    for (auto& g : *sent) handledByMessage[g->userInfo().value("message", "")] = g->dateHandled().has_value();
    EXPECT_EQ(handledByMessage, (std::map<std::string, bool>{{"Door A", true}, {"Door B", false}}));
    std::map<std::string, int> events;
    for (auto& e : ground()->storedEvents())
        if (e->eventType() == ZarnPLogEventTypeGeotriggerSent ||
            e->eventType() == ZarnPLogEventTypeGeotriggerHandled ||
            e->eventType() == ZarnPLogEventTypeNotificationSent)
            ++events[*ZarnPLogEventType::nameForType(e->eventType()) + " " +
                     e->extra().value("geotrigger_id", e->extra().value("notification_id", ""))];
    EXPECT_EQ(events, (std::map<std::string, int>{{"geotrigger_sent door-a;r", 1},
                                                  {"geotrigger_sent door-b;r", 1},
                                                  {"geotrigger_handled door-a;r", 1}}));
}

TEST_F(ExternalRegionScenarioTest, APropertyWithoutValueMatchesOnlyAReportedNullAndReachesTheAppAsNull) {
    start();
    env.device->application()->resignActive();
    env.advanceBy(1);

    // An empty text, or no key at all, is not the null a property without a value stands for; the
    // service's empty value is stored as none.
    for (const Value& properties :
         {Value::array({{{"room", "vault"}, {"code", ""}}}), Value::array({{{"room", "vault"}}}),
          Value::array({{{"room", "safe"}, {"code", ""}}})}) {
        report(properties, "enter");
        EXPECT_EQ(offerCount(), 0u) << properties.dump();
    }
    ASSERT_EQ(offerCount(), 0u);

    report(Value::array({{{"room", "vault"}, {"code", nullptr}}, {{"room", "safe"}, {"code", nullptr}}}),
           "enter");
    auto shownNow = shown();
    EXPECT_EQ(test::bodiesOf(shownNow), (std::vector<std::string>{"In the vault", "At the safe"}));
    for (const auto& request : shownNow)
        EXPECT_EQ(request.content.userInfo.value("zarnTriggerProperties", Value())["code"], nullptr)
            << request.content.body;
}

}  // namespace
}  // namespace zarn
