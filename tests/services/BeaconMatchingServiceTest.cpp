// Beacon match runs on the real stores: identity and distance by proximity, cooldowns, the
// entered and exit bookkeeping, the contextual page, the early cooldown ends, beacon-region exits
// and dwelling expiry, with a common matching that records what it is handed.
#include "services/ZarnPBeaconMatchingService.h"

#include <gtest/gtest.h>

#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnTriggerContext.h"
#include "tests/support/BeaconDoubles.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

using sim::DataUpdateCampaign;
using sim::DataUpdateNotification;

constexpr const char* kUuidA = "0123456789abcdef0123456789abcdef";
constexpr const char* kUuidB = "fedcba9876543210fedcba9876543210";

platform::ProximityUuid uuidBytes(const char* text) {
    return ZarnPBeaconUtil::stringToUuid(text)->bytes();
}

platform::Beacon beacon(int major, int minor,
                        platform::BeaconProximity proximity = platform::BeaconProximity::Near,
                        const char* uuid = kUuidA) {
    return {.proximityUuid = uuidBytes(uuid), .major = major, .minor = minor, .proximity = proximity};
}

DataUpdateNotification beaconNotification(std::string campaign, std::string id, int major, int minor,
                                          int range = 30, const char* uuid = kUuidA) {
    return {.campaign = std::move(campaign),
            .geofenceId = std::move(id),
            .beaconUuid = uuid,
            .beaconMajorId = major,
            .beaconMinorId = minor,
            .matchRange = range};
}

std::set<std::string> asSet(const std::vector<std::string>& v) {
    return {v.begin(), v.end()};
}

class BeaconMatchingServiceTest : public ::testing::Test {
  protected:
    void SetUp() override { service = std::make_shared<ZarnPBeaconMatchingService>(collaborators()); }
    // The world's stores and services, without the database.
    ZarnPBeaconMatchingService::Collaborators collaborators() {
        return {
            .beaconNotificationDao = world.beaconDao,
            .eventService = world.eventService,
            .notificationReadDao = world.read,
            .commonMatchService = world.common,
            .uuidGenerator = world.uuids,
            .contextualPageDao = world.contextualPages,
            .clockDao = world.clock,
            .uiNotificationDao = world.uiNotifications,
            .publicLogDao = world.publicLog,
            .contextService = world.contextService,
        };
    }

    void save(std::vector<DataUpdateCampaign> campaigns, std::vector<DataUpdateNotification> notifications,
              std::vector<sim::DataUpdateCooldownGroup> groups = {}) {
        for (auto& c : campaigns)
            if (!c.message)
                c.message = "message of " + *c.campaignId;
        sim::DataUpdateDescription d{.campaigns = std::move(campaigns), .cooldownGroups = std::move(groups)};
        d.tiles.push_back({.value = "u33", .notifications = std::move(notifications)});
        world.save(d);
    }

    // One run; the requests it handed on (the run must have handed some list on).
    std::vector<NotificationRequest> run(const std::vector<platform::Beacon>& beacons,
                                         bool foreground = true) {
        auto before = world.common->filtered.size();
        service->checkForBeaconMatches(beacons, foreground, nullptr, world.context(ZarnTriggerContextBeacon),
                                       location);
        EXPECT_EQ(world.common->filtered.size(), before + 1);
        return world.common->filtered.empty() ? std::vector<NotificationRequest>{}
                                              : world.common->filtered.back().requests;
    }
    std::set<std::string> entered(const char* uuid = kUuidA) {
        return world.beaconDao->getEnteredIdsForBeaconUuids({*ZarnPBeaconUtil::stringToUuid(uuid)});
    }

    test::TestEnvironment env;
    test::MatchingWorld world{env};
    std::shared_ptr<ZarnPBeaconMatchingService> service;
    std::shared_ptr<ZarnPLocationWithAccuracy> location =
        std::make_shared<ZarnPLocationWithAccuracy>(52.0, 13.0, 10);
};

TEST_F(BeaconMatchingServiceTest, IdentityAndDistanceByProximityDecideAMatch) {
    using P = platform::BeaconProximity;
    struct Case {
        const char* name;
        int range;
        platform::Beacon seen;  // its minor is the case's own
        bool sameMajor = true;
        bool sameUuid = true;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"immediate within 1 m", 1, beacon(1, 0, P::Immediate), true, true, true},
        {"near is 2 m, beyond 1 m", 1, beacon(1, 0, P::Near), true, true, false},
        {"near within 2 m", 2, beacon(1, 0, P::Near), true, true, true},
        {"far is 30 m, within 30 m", 30, beacon(1, 0, P::Far), true, true, true},
        {"far is beyond 20 m", 20, beacon(1, 0, P::Far), true, true, false},
        {"unknown is 100 m", 100, beacon(1, 0, P::Unknown), true, true, true},
        {"unknown is beyond 99 m", 99, beacon(1, 0, P::Unknown), true, true, false},
        {"a proximity outside the list is unknown", 99, beacon(1, 0, static_cast<P>(9)), true, true, false},
        {"...and within 100 m", 100, beacon(1, 0, static_cast<P>(-4)), true, true, true},
        {"another major", 30, beacon(1, 0, P::Immediate), false, true, false},
        {"another proximity UUID", 30, beacon(1, 0, P::Immediate), true, false, false},
    };
    std::vector<DataUpdateNotification> stored;
    std::vector<platform::Beacon> seen;
    std::set<std::string> expected;
    for (size_t i = 0; i < cases.size(); ++i) {
        int minor = static_cast<int>(i) + 1;
        std::string id = "r" + std::to_string(minor);
        stored.push_back(beaconNotification("c", id, cases[i].sameMajor ? 1 : 2, minor, cases[i].range,
                                            cases[i].sameUuid ? kUuidA : kUuidB));
        auto b = cases[i].seen;
        b.minor = minor;
        seen.push_back(b);
        if (cases[i].matches)
            expected.insert("c;" + id);
    }
    save({{.campaignId = "c"}}, stored);

    auto offered = run(seen);
    EXPECT_EQ(asSet(test::requestIds(offered)), expected);
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(entered().count("c;r" + std::to_string(i + 1)) == 1, cases[i].matches) << cases[i].name;
}

TEST_F(BeaconMatchingServiceTest, EnteredNotificationsWaitForTheirExitAndEachMatchIsOfferedOnce) {
    save({{.campaignId = "enter"},
          {.campaignId = "exit", .triggerOnExit = true},
          {.campaignId = "page1", .data = "first page", .handlerType = 5},
          {.campaignId = "page2", .data = "second page", .handlerType = 5},
          {.campaignId = "cool"},
          {.campaignId = "dwell", .dwellingMinutes = 5},
          {.campaignId = "coolexit", .triggerOnExit = true}},
         {beaconNotification("enter", "r1", 1, 1), beaconNotification("exit", "r2", 1, 2),
          beaconNotification("page1", "r3", 1, 3), beaconNotification("page2", "r4", 1, 4),
          beaconNotification("cool", "r5", 1, 5), beaconNotification("dwell", "r6", 1, 6),
          beaconNotification("coolexit", "r7", 1, 7)},
         {{.id = "cool", .value = 3600}, {.id = "dwell", .value = 3600}, {.id = "coolexit", .value = 3600}});
    world.common->groupsInCooldown = {"cool", "dwell", "coolexit"};
    auto all = std::vector<platform::Beacon>{beacon(1, 1), beacon(1, 1), beacon(1, 2), beacon(1, 3),
                                             beacon(1, 4), beacon(1, 5), beacon(1, 6)};

    // Two sightings of one beacon: its notification is offered once. Dwelling skips the group
    // cooldown; the exit one is only stored; the first contextual page wins and is not offered.
    auto first = run(all);
    EXPECT_EQ(test::requestIds(first), (std::vector<std::string>{"enter;r1", "dwell;r6"}));
    EXPECT_EQ(first[0].content.userInfo.value("isAppInForeground", false), true);
    EXPECT_EQ(entered(), (std::set<std::string>{"enter;r1", "exit;r2", "dwell;r6"}));
    EXPECT_EQ(world.contextualPages->getClosestContextualPage()->value("id", ""), "page1;r3");
    auto pages = world.events(ZarnPLogEventTypeContextualPageTriggered);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]->extra().value("data", ""), "first page");
    for (auto [regionType, seconds] : world.common->groupChecks) {
        EXPECT_EQ(regionType, 1);
        EXPECT_EQ(seconds, 7200);
    }
    EXPECT_EQ(world.common->groupChecks.size(), 5u);  // enter, exit, page1, page2, cool: once each

    // Ranged again: nothing new.
    EXPECT_TRUE(run(all).empty());

    // The UUID ranged without them: the exit notification is offered, the others forgotten.
    auto exits = run({beacon(1, 1)}, false);
    EXPECT_EQ(test::requestIds(exits), std::vector<std::string>{"exit;r2"});
    EXPECT_EQ(exits[0].content.userInfo.value("isAppInForeground", true), false);
    EXPECT_EQ(entered(), std::set<std::string>{"enter;r1"});

    // Leaving the region offers entered exit notifications out of cooldown, with foreground NO,
    // and forgets every entered one of the UUID.
    EXPECT_TRUE(run({beacon(1, 2)}).empty());
    Error error;
    world.beaconDao->markUserEntered(true, "coolexit;r7", *ZarnPBeaconUtil::stringToUuid(kUuidA), &error);
    world.beaconDao->markUserEntered(true, "enter;r1", *ZarnPBeaconUtil::stringToUuid(kUuidB), &error);
    service->checkForBeaconExited({*ZarnPBeaconUtil::stringToUuid(kUuidA)}, location,
                                  world.context(ZarnTriggerContextBeacon), nullptr);
    auto left = world.common->filtered.back().requests;
    EXPECT_EQ(test::requestIds(left), std::vector<std::string>{"exit;r2"});
    EXPECT_EQ(left[0].content.userInfo.value("isAppInForeground", true), false);
    EXPECT_TRUE(entered().empty());
    EXPECT_EQ(entered(kUuidB), std::set<std::string>{"enter;r1"});
}

// A run's state is committed before its offers are handed on: the geotriggers among them are then
// recorded, and synced, before the app is handed them, not inside the run's unsynced commit.
TEST_F(BeaconMatchingServiceTest, ARunsCommitEndsBeforeItsOffersAreHandedOn) {
    save({{.campaignId = "enter"}, {.campaignId = "exit", .triggerOnExit = true}},
         {beaconNotification("enter", "r1", 1, 1), beaconNotification("exit", "r2", 1, 2)});
    auto withDb = collaborators();
    withDb.db = world.db;
    auto grouped = std::make_shared<ZarnPBeaconMatchingService>(withDb);
    world.common->db = world.db;
    grouped->checkForBeaconMatches({beacon(1, 1), beacon(1, 2)}, true, nullptr,
                                   world.context(ZarnTriggerContextBeacon), location);
    grouped->checkForBeaconExited({*ZarnPBeaconUtil::stringToUuid(kUuidA)}, location,
                                  world.context(ZarnTriggerContextBeacon), nullptr);
    ASSERT_EQ(world.common->filtered.size(), 2u);
    EXPECT_EQ(test::requestIds(world.common->filtered[0].requests), std::vector<std::string>{"enter;r1"});
    EXPECT_EQ(test::requestIds(world.common->filtered[1].requests), std::vector<std::string>{"exit;r2"});
    for (const auto& handOff : world.common->filtered) EXPECT_FALSE(handOff.inTransaction);
    EXPECT_TRUE(entered().empty());
}

TEST_F(BeaconMatchingServiceTest, ACooldownEndReleasesTheRunsContext) {
    save({{.campaignId = "enter"}, {.campaignId = "page", .handlerType = 5}},
         {beaconNotification("enter", "r1", 1, 1), beaconNotification("page", "r2", 1, 2)});
    struct Case {
        const char* name;
        std::deque<bool> aborts;
        bool pageStored;
    };
    for (const auto& c :
         std::vector<Case>{{"at the start", {true}, false}, {"after the page", {false, true}, true}}) {
        world.contextualPages->unsetContextualPage("beacon");
        world.common->abortAnswers = c.aborts;
        auto context = world.context(ZarnTriggerContextBeacon);
        auto reported = world.events(ZarnPLogEventTypeDebuglogEntry).size();
        service->checkForBeaconMatches({beacon(1, 1), beacon(1, 2)}, true, nullptr, context, location);
        EXPECT_TRUE(world.common->filtered.empty()) << c.name;
        EXPECT_TRUE(entered().empty()) << c.name;
        EXPECT_EQ(context->referenceCount(), -1) << c.name;
        EXPECT_EQ(world.contextualPages->getClosestContextualPage().has_value(), c.pageStored) << c.name;
        // Released: its collected lines were reported.
        EXPECT_EQ(world.events(ZarnPLogEventTypeDebuglogEntry).size(), reported + (c.pageStored ? 1 : 0))
            << c.name;
    }
}

TEST_F(BeaconMatchingServiceTest, AnExpiredDwellingBecomesASentNotificationAtItsEndDate) {
    auto now = world.clock->now();
    world.beaconDao->markUserStartedDwelling("dwell;r6;exp;2", "match-1", dateByAddingTimeInterval(now, 60));
    world.beaconDao->markUserStartedDwelling("dwell;r7", "match-2", dateByAddingTimeInterval(now, 600));
    env.advanceBy(120);
    service->checkForSentDwellingBeacons(world.context(ZarnTriggerContextBeacon));

    EXPECT_EQ(world.common->sentDwellings, std::vector<std::string>{"match-1"});
    auto sent = world.events(ZarnPLogEventTypeNotificationSent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0]->extra().value("notification_id", ""), "dwell;r6;exp;2");
    EXPECT_EQ(sent[0]->extra().value("match_id", ""), "match-1");
    EXPECT_NEAR(timeIntervalSince1970(sent[0]->date()), timeIntervalSince1970(now) + 60, 0.01);
    EXPECT_EQ(world.beaconDao->dwellingNotifications(), std::set<std::string>{"dwell;r7"});
    EXPECT_EQ(world.beaconDao->getUserHasToLeaveNotifications(), std::set<std::string>{"dwell;r6;exp;2"});
}

}  // namespace
}  // namespace zarn
