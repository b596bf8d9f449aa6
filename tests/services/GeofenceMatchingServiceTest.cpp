// Geofence match runs on real stores written from data updates, the common matching replaced by
// a recorder: the accuracy, margin and range rules, has-to-leave-first, exits, dwellings, the
// contextual page and the cooldowns' bookkeeping.
#include "services/ZarnPGeofenceMatchingService.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "core/ZarnPContext.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "services/ZarnPCommonMatching.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "store/ZarnPSqLiteContextualPageDao.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "store/ZarnPSqLiteNotificationDao.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/store/NearestTestSupport.h"
#include "tests/support/CmatchDoubles.h"
#include "tests/support/ServiceDoubles.h"
#include "tests/support/TestEnvironment.h"
#include "zarn/platform/NotificationCenter.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

using sim::DataUpdateCampaign;
using sim::DataUpdateDescription;
using sim::DataUpdateNotification;
using Ids = std::set<std::string>;

constexpr double kLat = 52.0, kLon = 13.0;
constexpr double kMetresPerDegree = 111195.0;

// The common matching as a recorder: answers set by the test, calls kept; the rest answers as
// the delegate-only one does.
class RecordingCommonMatching final : public test::DelegateOnlyCommonMatching {
  public:
    bool shouldAbortMatchRunBecauseOfCoolDown() override { return globalCooldown; }
    bool isInCooldownGroup(const std::vector<ZarnPCooldownGroup>& groups, int regionType,
                           int subtractSeconds) override {
        EXPECT_EQ(regionType, 0);
        bool in = false;
        for (const auto& g : groups) {
            subtracted[g.identifier()] = subtractSeconds;
            in = in || groupsInCooldown.count(g.identifier());
        }
        return in;
    }
    bool shouldIncreaseMatchRange() override { return increaseRange; }
    void monitorNotifications(const std::vector<ZarnPNotificationWithDistance>& notifications) override {
        monitored.clear();
        for (const auto& n : notifications) monitored.push_back(n.notification.getShortId());
    }
    void cancelNotifications(const std::set<std::string>& identifiers, int regionType) override {
        EXPECT_EQ(regionType, 0);
        cancelled.push_back(identifiers);
    }
    void saveSentDwellingNotification(const std::string& matchIdentifier, Date date) override {
        sentDwellings.emplace_back(matchIdentifier, date);
    }
    void offerNotifications(const std::vector<ZarnPNotification>& notifications, int regionType,
                            const std::shared_ptr<ZarnPBackgroundTask>&,
                            const std::shared_ptr<ZarnPContext>&) override {
        EXPECT_EQ(regionType, 0);
        for (const auto& n : notifications) offered.push_back(n.getShortId());
    }

    bool globalCooldown = false;
    bool increaseRange = false;
    Ids groupsInCooldown;
    std::map<std::string, int> subtracted;
    std::vector<std::string> monitored;
    std::vector<std::string> offered;
    std::vector<Ids> cancelled;
    std::vector<std::pair<std::string, Date>> sentDwellings;
};

// A geofence `metresNorth` of the fix's usual place.
DataUpdateNotification fence(std::string campaign, std::string id, double metresNorth, int32_t range) {
    return {
        .campaign = std::move(campaign),
        .geofenceId = std::move(id),
        .location = {{static_cast<float>(kLat + metresNorth / kMetresPerDegree), static_cast<float>(kLon)}},
        .matchRange = range};
}

// One world: stores on a fresh file (every store made before the file opens, so that each
// creates its tables), the service under test and the recorder.
struct Rig : test::NearestStore {
    Rig(test::TestEnvironment& env, const std::string& name)
        : NearestStore(env.path(name + "/zarn.db"), env.time, DeferOpen{}),
          common(std::make_shared<RecordingCommonMatching>()),
          local(std::make_shared<ZarnPSqLiteNotificationDao>(db, cooldowns, clock, read)),
          pages(std::make_shared<ZarnPSqLiteContextualPageDao>(db, clock)),
          events(std::make_shared<ZarnPSqLiteEventDao>(db)),
          strings(std::make_shared<ZarnPSqLiteKeyValueDao>(db)),
          contexts(std::make_shared<ZarnPContextService>(clock)) {
        auto eventService = ZarnPEventService::create(
            events, strings->keyValueDao(), std::make_shared<ZarnPUuidGenerator>(),
            std::make_shared<test::FreshSegmentation>(), std::make_shared<test::UnreachableService>(), clock,
            std::make_shared<platform::NotificationCenter>());
        auto publicLog = std::make_shared<ZarnPSystemPublicLogDao>(clock, nullptr, nullptr, env.fileSystem,
                                                                   env.time, [] { return true; });
        publicLog->setEnabled(true);
        service = std::make_shared<ZarnPGeofenceMatchingService>(ZarnPGeofenceMatchingService::Collaborators{
            .commonMatchService = common,
            .notificationReadDao = read,
            .notificationDao = local,
            .eventService = eventService,
            .publicLogDao = publicLog,
            .contextService = contexts,
            .contextualPageDao = pages,
            .clockDao = clock,
            .segmentationHistoryDao = history,
        });
        EXPECT_TRUE(db->database());
    }

    // One run with the fix `metresNorth` of the usual place; what it offered. The context's one
    // reference is left to the run to release when it offers nothing.
    std::vector<std::string> run(double metresNorth, double accuracy) {
        common->offered.clear();
        context = contexts->startContext(2);
        contexts->incrementContext(context);
        read->invalidate();
        service->checkForGeofenceMatches(nullptr, context,
                                         std::make_shared<ZarnPLocationWithAccuracy>(
                                             kLat + metresNorth / kMetresPerDegree, kLon, accuracy));
        return common->offered;
    }

    std::vector<std::shared_ptr<ZarnPEvent>> eventsOfType(unsigned type) {
        std::vector<std::shared_ptr<ZarnPEvent>> out;
        for (auto& e : events->getEvents())
            if (e->eventType() == type)
                out.push_back(e);
        return out;
    }

    std::shared_ptr<RecordingCommonMatching> common;
    std::shared_ptr<ZarnPSqLiteNotificationDao> local;
    std::shared_ptr<ZarnPSqLiteContextualPageDao> pages;
    std::shared_ptr<ZarnPSqLiteEventDao> events;
    std::shared_ptr<ZarnPSqLiteKeyValueDao> strings;
    std::shared_ptr<ZarnPContextService> contexts;
    std::shared_ptr<ZarnPGeofenceMatchingService> service;
    std::shared_ptr<ZarnPContext> context;
};

class GeofenceMatchingServiceTest : public ::testing::Test {
  protected:
    test::TestEnvironment env;
};

struct RangeCase {
    const char* label;
    double accuracy;
    int32_t range;
    double distance;
    bool increaseRange;
    bool offered;
};

TEST_F(GeofenceMatchingServiceTest, AccuracyMarginAndRangeDecideTheMatch) {
    const RangeCase cases[] = {
        {"150 m fix, 50 m fence", 150, 50, 0, false, true},
        {"fix at the 200 m bound", 200, 20, 0, false, true},
        {"300 m fix, 150 m fence", 300, 150, 0, false, false},
        {"300 m fix, 151 m fence", 300, 151, 0, false, true},
        {"100 m fence, inside its 50 m margin", 10, 100, 140, false, true},
        {"100 m fence, past its 50 m margin", 10, 100, 160, false, false},
        {"1 km fence, inside its 200 m margin", 10, 1000, 1190, false, true},
        {"1 km fence, past its 200 m margin", 10, 1000, 1215, false, false},
        {"20 km fence, inside its 2500 m margin", 10, 20000, 22400, false, true},
        {"20 km fence, past its 2500 m margin", 10, 20000, 22600, false, false},
        {"50 m fence widened to 300 m", 10, 50, 340, true, true},
        {"50 m fence not widened", 10, 50, 340, false, false},
        {"widened fence accepts a 500 m fix", 500, 50, 0, true, true},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Rig rig(env, "range" + std::to_string(index++));
        DataUpdateDescription d{.campaigns = {{.campaignId = "c", .message = "hi"}}};
        d.tiles.push_back({.value = "u33", .notifications = {fence("c", "g", c.distance, c.range)}});
        rig.save(d);
        rig.common->increaseRange = c.increaseRange;
        auto offered = rig.run(0, c.accuracy);
        EXPECT_EQ(offered, c.offered ? std::vector<std::string>{"c;g"} : std::vector<std::string>{});
        EXPECT_EQ(rig.common->monitored, std::vector<std::string>{"c;g"});
        EXPECT_EQ(rig.local->getUserHasToLeaveNotifications(), c.offered ? Ids{"c;g"} : Ids{});
        // Nothing offered: the run released its context itself.
        EXPECT_EQ(rig.context->referenceCount(), c.offered ? 1 : 0);
    }
}

TEST_F(GeofenceMatchingServiceTest, HasToLeaveFirstEndsOnlyOnAnAccurateFixOutside) {
    Rig rig(env, "leave");
    DataUpdateDescription d{.campaigns = {{.campaignId = "a", .message = "welcome"}}};
    d.tiles.push_back({.value = "u33", .notifications = {fence("a", "g", 0, 100)}});
    rig.save(d);

    EXPECT_EQ(rig.run(0, 10), std::vector<std::string>{"a;g"});
    EXPECT_EQ(rig.run(0, 10), std::vector<std::string>{}) << "still inside";
    // 1 km away, but the fix is too rough to tell.
    EXPECT_EQ(rig.run(1000, 1500), std::vector<std::string>{});
    EXPECT_EQ(rig.local->getUserHasToLeaveNotifications(), Ids{"a;g"});
    EXPECT_EQ(rig.run(0, 10), std::vector<std::string>{});
    EXPECT_EQ(rig.run(1000, 10), std::vector<std::string>{});
    EXPECT_EQ(rig.local->getUserHasToLeaveNotifications(), Ids{});
    EXPECT_EQ(rig.run(0, 10), std::vector<std::string>{"a;g"}) << "entered again";
}

TEST_F(GeofenceMatchingServiceTest, ExitGeofenceIsOfferedOnTheRunItDropsOut) {
    Rig rig(env, "exit");
    DataUpdateDescription d{.campaigns = {{.campaignId = "e", .message = "bye", .triggerOnExit = true}}};
    d.tiles.push_back({.value = "u33", .notifications = {fence("e", "g", 0, 100)}});
    rig.save(d);

    EXPECT_EQ(rig.run(0, 10), std::vector<std::string>{});
    EXPECT_EQ(rig.local->getUserEntered(), Ids{"e;g"});
    EXPECT_EQ(rig.run(1000, 1500), std::vector<std::string>{}) << "an inaccurate fix is no exit";
    EXPECT_EQ(rig.local->getUserEntered(), Ids{"e;g"});
    EXPECT_EQ(rig.run(1000, 10), std::vector<std::string>{"e;g"});
    EXPECT_EQ(rig.local->getUserEntered(), Ids{});
    EXPECT_EQ(rig.run(1000, 10), std::vector<std::string>{}) << "offered once";
}

TEST_F(GeofenceMatchingServiceTest, DwellingOfAnExperimentIsKeptWhileInsideAndExpiresUnderItsIds) {
    Rig rig(env, "dwell");
    DataUpdateDescription d{.campaigns = {{.campaignId = "d",
                                           .message = "stay",
                                           .dwellingMinutes = 5,
                                           .experimentId = "x",
                                           .experimentMessageId = 2}}};
    d.tiles.push_back({.value = "u33", .notifications = {fence("d", "g", 0, 100), fence("d", "h", 0, 100)}});
    rig.save(d);
    const Date now = rig.clock->now();
    // As the common matching records a scheduled dwelling: under the id with experiment.
    ASSERT_FALSE(rig.local->markUserStartedDwelling("d;g;x;2", "m-g", dateByAddingTimeInterval(now, 300)));
    ASSERT_FALSE(rig.local->markUserStartedDwelling("d;h;x;2", "m-h", dateByAddingTimeInterval(now, 300)));
    ASSERT_FALSE(rig.local->markUserHasToLeaveFirst("d;g"));
    ASSERT_FALSE(rig.local->markUserHasToLeaveFirst("d;h"));

    rig.run(0, 10);
    rig.run(1000, 1500);
    EXPECT_TRUE(rig.common->cancelled.empty()) << "inside, or not known to have left";
    rig.run(1000, 10);
    ASSERT_EQ(rig.common->cancelled.size(), 1u);
    EXPECT_EQ(rig.common->cancelled[0], (Ids{"d;g;x;2", "d;h;x;2"}));

    // Expiry of a dwelling whose time is up, the other still running.
    ASSERT_FALSE(rig.local->markUserStartedDwelling("d;g;x;2", "m-g", dateByAddingTimeInterval(now, 300)));
    ASSERT_FALSE(rig.local->markUserStartedDwelling("d;h;x;2", "m-h", dateByAddingTimeInterval(now, 900)));
    ASSERT_FALSE(rig.local->replaceUserHasToLeaveFirstSet({}));
    env.advanceBy(301);
    rig.service->checkForSentDwellingGeofences(rig.contexts->startContext(2));
    auto sent = rig.eventsOfType(ZarnPLogEventTypeNotificationSent);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0]->extra().value("notification_id", ""), "d;g;x;2");
    EXPECT_EQ(sent[0]->extra().value("match_id", ""), "m-g");
    EXPECT_NEAR(timeIntervalSince1970(sent[0]->date()), timeIntervalSince1970(now) + 300, 0.01);
    EXPECT_EQ(rig.local->dwellingNotifications(), Ids{"d;h;x;2"});
    EXPECT_EQ(rig.local->getUserHasToLeaveNotifications(), Ids{"d;g"});
    ASSERT_EQ(rig.common->sentDwellings.size(), 1u);
    EXPECT_EQ(rig.common->sentDwellings[0].first, "m-g");
    // The user is still inside a fence whose notification was just sent: nothing again.
    EXPECT_EQ(rig.run(0, 10), std::vector<std::string>{"d;h"});
    EXPECT_EQ(rig.common->cancelled.size(), 1u) << "the running dwelling is kept";
}

TEST_F(GeofenceMatchingServiceTest, NearerContextualPageIsStoredAndNothingOfferedEvenInCooldown) {
    Rig rig(env, "page");
    DataUpdateDescription d{.campaigns = {{.campaignId = "far", .data = "far-page", .handlerType = 5},
                                          {.campaignId = "near", .data = "near-page", .handlerType = 5},
                                          {.campaignId = "plain", .message = "hi"}}};
    d.tiles.push_back({.value = "u33",
                       .notifications = {fence("far", "g", 40, 100), fence("near", "g", 10, 100),
                                         fence("plain", "g", 0, 100)}});
    rig.save(d);
    rig.common->globalCooldown = true;

    EXPECT_EQ(rig.run(0, 10), std::vector<std::string>{});
    EXPECT_EQ(rig.common->monitored.size(), 3u) << "regions are still replaced";
    auto page = rig.pages->getClosestContextualPage();
    ASSERT_TRUE(page);
    EXPECT_EQ((*page)["id"], "near;g");
    EXPECT_EQ((*page)["data"], "near-page");
    auto triggered = rig.eventsOfType(ZarnPLogEventTypeContextualPageTriggered);
    ASSERT_EQ(triggered.size(), 1u);
    EXPECT_EQ(triggered[0]->extra().value("id", ""), "near;g");
    EXPECT_EQ(triggered[0]->extra().value("data", ""), "near-page");
    // The cooldown end releases the context and leaves the has-to-leave set as it was.
    EXPECT_EQ(rig.context->referenceCount(), 0);
    EXPECT_EQ(rig.local->getUserHasToLeaveNotifications(), Ids{});

    rig.common->globalCooldown = false;
    EXPECT_EQ(rig.run(0, 10), std::vector<std::string>{"plain;g"});
}

TEST_F(GeofenceMatchingServiceTest, GroupCooldownSkipKeepsDwellingEntryAndLeaving) {
    Rig rig(env, "groups");
    DataUpdateDescription d{
        .campaigns = {{.campaignId = "dw", .message = "stay", .dwellingMinutes = 10},
                      {.campaignId = "ex", .message = "bye", .triggerOnExit = true},
                      {.campaignId = "hl", .message = "hello"}},
        .cooldownGroups = {
            {.id = "dw", .value = 3600}, {.id = "ex", .value = 3600}, {.id = "hl", .value = 3600}}};
    d.tiles.push_back(
        {.value = "u33",
         .notifications = {fence("dw", "g", 0, 100), fence("ex", "g", 0, 100), fence("hl", "g", 0, 100)}});
    rig.save(d);

    EXPECT_EQ(rig.run(0, 10), (std::vector<std::string>{"dw;g", "hl;g"}));
    ASSERT_FALSE(
        rig.local->markUserStartedDwelling("dw;g", "m", dateByAddingTimeInterval(rig.clock->now(), 600)));
    EXPECT_EQ(rig.common->subtracted["dw"], 7200);
    EXPECT_EQ(rig.common->subtracted["hl"], 0);

    rig.common->groupsInCooldown = {"dw", "ex", "hl"};
    EXPECT_EQ(rig.run(0, 10), std::vector<std::string>{});
    EXPECT_TRUE(rig.common->cancelled.empty()) << "a cooldown never ends a dwelling of a user inside";
    EXPECT_EQ(rig.local->getUserEntered(), Ids{"ex;g"}) << "nor fakes an exit";
    EXPECT_EQ(rig.local->getUserHasToLeaveNotifications(), (Ids{"dw;g", "hl;g"}));

    // Leaving during the cooldown is still seen.
    EXPECT_EQ(rig.run(1000, 10), std::vector<std::string>{"ex;g"});
    ASSERT_EQ(rig.common->cancelled.size(), 1u);
    EXPECT_EQ(rig.common->cancelled[0], Ids{"dw;g"});
    EXPECT_EQ(rig.local->getUserHasToLeaveNotifications(), Ids{});

    // Back inside after the cooldown: offered once more, without having to leave twice.
    rig.common->groupsInCooldown.clear();
    EXPECT_EQ(rig.run(0, 10), (std::vector<std::string>{"dw;g", "hl;g"}));
}

TEST_F(GeofenceMatchingServiceTest, RepeatedShortIdsAreDroppedAndIdentifiersShortened) {
    ZarnPNotification a, b, c;
    a.setCampaignId("a");
    a.setRegionId("g");
    a.setMessage("first");
    b = a;
    b.setMessage("second");
    c.setCampaignId("c");
    c.setRegionId("g");
    auto kept = ZarnPGeofenceMatchingService::filterOutRepeatedNotifications({a, c, b});
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].message(), "first");
    EXPECT_EQ(kept[1].getShortId(), "c;g");
    EXPECT_EQ(ZarnPGeofenceMatchingService::shortIdOfIdentifier("a;g;x;(null)"), "a;g");
    EXPECT_EQ(ZarnPGeofenceMatchingService::shortIdOfIdentifier("a;g"), "a;g");
}

}  // namespace
}  // namespace zarn
