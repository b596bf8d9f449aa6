// The library's main road on the simulated device: campaigns saved from a data update, a walk
// and a tram ride past their geofences, and what the user sees: an entry notification, no second
// one while still inside, a dwelling notification pending and cancelled on leaving or delivered
// when due, the region limit, the global cooldown, and the events stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "sim/Device.h"
#include "sim/Route.h"
#include "sim/service/DataUpdateBuilder.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

constexpr double kLat = 52.52;

sim::DataUpdateNotification fence(const std::string& campaign, const std::string& id, double lon,
                                  int32_t range) {
    return {.campaign = campaign,
            .geofenceId = id,
            .location = {{static_cast<float>(kLat), static_cast<float>(lon)}},
            .matchRange = range};
}

class GeofenceNotifyTest : public test::StartedLibraryTest {
  protected:
    void start() {
        auto c = ZarnConfiguration::create();
        c->setPublicToken(std::string("token-1"));
        c->setMaxRegionsMonitored(5);
        c->setDelegate(std::make_shared<ZarnDelegate>());
        ZarnBase::performInitializationWithConfiguration(c);
        env.runUntilIdle();
        env.advanceBy(10);
    }
    void save(const sim::DataUpdateDescription& description) { saveDataUpdate(description); }
    // Rides from where the device is to `lon` in `seconds`, then waits `stay` seconds there.
    void go(double lon, double seconds, double stay = 0) {
        auto from = env.location->position()->current();
        ASSERT_TRUE(from);
        env.location->position()->follow(sim::Route({{0, *from}, {seconds, {kLat, lon}}}));
        for (double s = 0; s < seconds + stay; s += 1) env.advanceBy(1);
    }
    std::vector<std::string> delivered() {
        std::vector<std::string> out;
        for (auto& n : env.device->localNotificationCenter()->deliveredNotifications())
            out.push_back(n.request.content.body);
        return out;
    }
    std::vector<std::string> pending() {
        std::vector<std::string> out;
        for (auto& r : env.device->localNotificationCenter()->pendingRequests())
            out.push_back(r.content.body);
        return out;
    }
    std::vector<std::string> sentEvents() {
        std::vector<std::string> out;
        for (auto& e : ground()->storedEvents())
            if (e->eventType() == ZarnPLogEventTypeNotificationSent)
                out.push_back(e->extra().value("notification_id", ""));
        return out;
    }
};

TEST_F(GeofenceNotifyTest, WalkShowsEntryDwellingAndRespectsLeavingLimitAndCooldown) {
    auto world = env.location;
    world->significantChanges()->setThreshold(1e9);  // only region events start runs
    world->position()->set({kLat, 13.3900});
    start();
    ASSERT_TRUE(ZarnBase::isEnabled());

    sim::DataUpdateDescription d{
        .campaigns = {{.campaignId = "w", .message = "Welcome to the quarter"},
                      {.campaignId = "a", .message = "Hello A"},
                      {.campaignId = "b", .message = "Stay at B", .dwellingMinutes = 5},
                      {.campaignId = "c", .message = "Hello C"},
                      {.campaignId = "d", .message = "Hello D"},
                      {.campaignId = "far", .message = "Far away"}}};
    d.tiles.push_back({.value = "u33d",
                       .notifications = {fence("w", "g", 13.4000, 400), fence("a", "g", 13.4000, 100),
                                         fence("b", "g", 13.4100, 100), fence("c", "g", 13.4190, 100),
                                         fence("d", "g", 13.4300, 100), fence("far", "g", 13.4700, 100)}});
    save(d);
    // The next start runs a geofence match run on the stored campaigns.
    restart();
    env.advanceBy(3600);
    start();
    env.device->application()->resignActive();
    env.advanceBy(1);
    auto monitored = [&] {
        std::vector<std::string> ids;
        for (auto& r : world->regions()->monitored()) ids.push_back(r.identifier);
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    EXPECT_EQ(monitored(),
              (std::vector<std::string>{"zarn-a;g", "zarn-b;g", "zarn-c;g", "zarn-d;g", "zarn-w;g"}))
        << "the five nearest, not the far one";

    // Into the wide fence, then into the small one inside it: the wide one is not shown again.
    go(13.4000, 480, 60);
    EXPECT_EQ(delivered(), (std::vector<std::string>{"Welcome to the quarter", "Hello A"}));

    // At B the dwelling notification waits; a fast ride on before it is due cancels it.
    go(13.4100, 480, 10);
    EXPECT_EQ(pending(), std::vector<std::string>{"Stay at B"});
    EXPECT_EQ(delivered().size(), 2u);
    go(13.4190, 50, 10);
    EXPECT_EQ(pending(), std::vector<std::string>{});
    EXPECT_EQ(delivered(), (std::vector<std::string>{"Welcome to the quarter", "Hello A", "Hello C"}));

    // The global cooldown: entering D within 600 s of the last notification shows nothing.
    ZarnBase::setCooldownPeriod(600);
    env.runUntilIdle();
    go(13.4300, 60, 10);
    EXPECT_EQ(delivered().size(), 3u);
    EXPECT_LE(world->regions()->monitored().size(), 5u);

    // Back at B without a cooldown: the dwelling notification is delivered when due.
    ZarnBase::setCooldownPeriod(0);
    env.runUntilIdle();
    go(13.4100, 120, 10);
    EXPECT_EQ(pending(), std::vector<std::string>{"Stay at B"});
    env.advanceBy(300);
    EXPECT_EQ(pending(), std::vector<std::string>{});
    EXPECT_EQ(delivered().back(), "Stay at B");
    // Leaving for C runs the dwelling expiry: the sent event follows.
    go(13.4190, 50, 10);
    EXPECT_EQ(sentEvents(), (std::vector<std::string>{"w;g", "a;g", "c;g", "b;g", "c;g"}));
    auto all = delivered();
    EXPECT_EQ(std::count(all.begin(), all.end(), "Hello D"), 0);
}

}  // namespace
}  // namespace zarn
