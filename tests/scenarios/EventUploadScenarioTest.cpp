// The whole library against the test service. First a walk: campaigns arrive with a full update,
// the device walks into a geofence and is notified, and the events that run made leave with the
// next request, key by key, and are deleted only once an answer is 2xx. Then random failures
// (seeded): events the app has stored leave through "storeEvents" when the library is disabled and
// with every data update, over restarts, until a final quiet spell drains them. Every event the library does
// not drop by its per-type caps is accepted by exactly one 2xx answer, and an event whose upload
// failed goes out again.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "core/ZarnPEvent.h"
#include "core/ZarnPLogEventType.h"
#include "sim/Device.h"
#include "sim/Route.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/TestService.h"
#include "tests/support/ScenarioDoubles.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace zarn {
namespace {

// The action name of the events the test has the app send.
constexpr const char* kOwn = "test-event";

class EventUploadScenarioTest : public test::StartedLibraryTest {
  protected:
    void SetUp() override {
        test::installTestService(service);
        StartedLibraryTest::SetUp();
        service->setDataUpdate(sim::DataUpdateBuilder::build({.deleteAllOldData = true}));
        env.location->position()->set({52.5200, 13.4000});
    }

    int storedEvents() {
        auto g = ground();
        return g->onSdk([&] { return g->events()->getEventCount(); });
    }

    // The stored events: local id to event.
    std::map<std::string, std::shared_ptr<ZarnPEvent>> stored() {
        std::map<std::string, std::shared_ptr<ZarnPEvent>> out;
        for (auto& e : ground()->storedEvents()) out[e->identifier()] = e;
        return out;
    }

    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
};

TEST_F(EventUploadScenarioTest, EventsOfAWalkIntoAGeofenceLeaveWithTheNextRequest) {
    using K = sim::TestAnswer::Kind;
    env.location->significantChanges()->setThreshold(1e9);  // only region events start runs
    env.location->position()->set({52.5200, 13.3900});
    // A start with no campaigns; the first full update brings them.
    service->setDataUpdateSource([](const sim::RecordedRequest& request) {
        (void)request;
        sim::DataUpdateDescription d{
            .deleteAllOldData = true,
            .campaigns = {{.campaignId = "cafe", .message = "Coffee at the corner"}}};
        d.tiles.push_back({.value = "u33d",
                           .notifications = {{.campaign = "cafe",
                                              .geofenceId = "g",
                                              .location = {{52.52f, 13.4000f}},
                                              .matchRange = 100}}});
        return sim::DataUpdateBuilder::build(d);
    });
    initialize();
    ASSERT_TRUE(ZarnBase::isEnabled());
    env.advanceBy(10);
    ASSERT_GE(service->requestCount(), 1u);
    EXPECT_EQ(service->requests()[0].endpoint, "storeEventsAndLoadNotifications");
    env.device->application()->resignActive();
    env.advanceBy(1);

    // About 680 m east in eight minutes, then a minute inside.
    env.location->position()->follow(sim::Route({{0, {52.5200, 13.3900}}, {480, {52.5200, 13.4000}}}));
    for (int s = 0; s < 540; ++s) env.advanceBy(1);
    auto delivered = env.device->localNotificationCenter()->deliveredNotifications();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].request.content.body, "Coffee at the corner");

    auto before = stored();
    std::shared_ptr<ZarnPEvent> sent;
    for (auto& [id, e] : before)
        if (e->eventType() == ZarnPLogEventTypeNotificationSent)
            sent = e;
    ASSERT_TRUE(sent) << "the match stored a sent event";

    // The next upload fails: everything stays; the one after succeeds: what it carried is gone.
    service->clearRequests();
    service->queueAnswer({K::Empty, 503, 0, "storeEvents"});
    service->queueAnswer({K::Normal, 200, 0, "storeEvents"});
    ZarnBase::disable();  // disabling sends what waits
    env.advanceBy(2);
    ASSERT_EQ(service->requestCount(), 1u);
    EXPECT_EQ(service->requests()[0].answered.status, 503);
    for (auto& [id, e] : before) EXPECT_TRUE(stored().count(id)) << "kept after a failure: " << id;

    env.advanceBy(30);
    auto sentAt = env.time->now();
    ZarnBase::disable();
    env.advanceBy(2);
    auto requests = service->requests();
    ASSERT_GE(requests.size(), 2u);
    const auto& request = requests.back();
    EXPECT_EQ(request.endpoint, "storeEvents");
    EXPECT_EQ(request.answered.status, 200);
    ASSERT_TRUE(request.json);
    std::map<std::string, Value> uploaded;
    for (auto& e : request.json->value("events", Value::array())) uploaded[e.value("localId", "")] = e;

    // Every event stored before the failure went out with it, as it was stored.
    for (auto& [id, e] : before) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(uploaded.count(id));
        auto& u = uploaded[id];
        EXPECT_EQ(u.value("eventType", ""), *ZarnPLogEventType::nameForType(e->eventType()));
        EXPECT_EQ(u.value("extra", Value()), e->extra());
    }
    // The sent event carries the run's context, the one its location event has too.
    const auto& u = uploaded[sent->identifier()];
    EXPECT_EQ(u.value("eventType", ""), "notification_sent");
    auto context = u.value("extra", Value::object()).value("context_id", "");
    EXPECT_EQ(context.size(), 36u);
    EXPECT_EQ(u.value("extra", Value()), (Value{{"notification_id", "cafe;g"},
                                                {"match_id", delivered[0].request.identifier},
                                                {"trigger", "geofence"},
                                                {"context_id", context}}));
    int located = 0;
    for (auto& [id, e] : uploaded) {
        const auto extra = e.value("extra", Value::object());
        if (e.value("eventType", "") == "location_acquired" && extra.value("context_id", "") == context) {
            ++located;
            EXPECT_EQ(extra.value("trigger", ""), "geofence");
            // Where the device crossed into the 100 m fence, west of its centre.
            double lon =
                std::stod(extra.value("location", "0,0").substr(extra.value("location", "").find(',') + 1));
            EXPECT_NEAR(lon, 13.4000 - 100 / 67700.0, 0.0003);
        }
    }
    EXPECT_EQ(located, 1) << "the run's location event went with it";
    // The failed upload left an error event of its own, sent with the retry.
    bool failureReported = false;
    for (auto& [id, e] : uploaded)
        if (e.value("eventType", "") == "error" &&
            e.value("extra", Value::object()).value("message", "").find("503") != std::string::npos)
            failureReported = true;
    EXPECT_TRUE(failureReported);
    // Whole seconds between the showing and this request.
    auto shownFor = std::chrono::duration<double>(sentAt - sent->date()).count();
    EXPECT_GT(shownFor, 32);
    EXPECT_EQ(u.value("secondsAgo", -1), static_cast<int>(std::lround(shownFor)));
    auto after = stored();
    for (auto& [id, e] : uploaded) EXPECT_FALSE(after.count(id)) << "deleted once accepted: " << id;
}

TEST_F(EventUploadScenarioTest, RandomFailuresNeitherLoseNorDoubleAnEvent) {
    std::mt19937 rng(20261209);
    using K = sim::TestAnswer::Kind;
    const sim::TestAnswer failures[] = {
        {K::Empty, 500}, {K::Empty, 503}, {K::Drop, 200}, {K::Normal, 200, 31.0},  // past the timeout
        {K::Empty, 404}, {K::Empty, 304},
    };
    const sim::TestAnswer successes[] = {
        {K::Normal, 200}, {K::Empty, 204}, {K::Corrupt, 200}, {K::Empty, 299}};
    for (int i = 0; i < 2000; ++i) {
        bool fail = std::uniform_int_distribution<int>(0, 99)(rng) < 40;
        service->queueAnswer(fail ? failures[rng() % std::size(failures)]
                                  : successes[rng() % std::size(successes)]);
    }

    initialize();
    int logged = 0;
    for (int run = 0; run < 50; ++run) {
        SCOPED_TRACE(run);
        if (run % 12 == 11) {
            restart();  // what is stored stays; what is in memory goes
            initialize();
        }
        int count = std::uniform_int_distribution<int>(1, 8)(rng);
        bool upload = rng() % 3 != 0;
        bool update = rng() % 4 == 0;
        // The app's own events, each named by its number: attributions, a type without a cap.
        for (int i = 0; i < count; ++i) ZarnBase::sendAttributionEvent(kOwn, std::to_string(logged++));
        // Disabling sends what waits, and enabling again runs a full update at once: an upload and
        // a data update out at the same time, as when a region entry's run fetches while an upload
        // is still waiting for its answer.
        if (upload) {
            ZarnBase::disable();
            ZarnBase::enable();
        }
        if (update)
            env.device->application()->becomeActive();  // a full update at once
        // Meanwhile the update timer runs a full update every minute.
        env.advanceBy(std::uniform_real_distribution<double>(1, 1500)(rng));
    }

    // A quiet spell: every answer succeeds until nothing waits.
    service->clearAnswers();
    for (int i = 0; i < 40 && storedEvents() > 0; ++i) {
        ZarnBase::disable();
        env.advanceBy(2);
    }
    EXPECT_EQ(storedEvents(), 0);

    // Replay what the service saw.
    struct Seen {
        unsigned accepted = 0;
        bool error = false;
        std::optional<int> n;
        std::vector<std::size_t> requests;
        std::vector<std::size_t> failed;
    };
    std::map<std::string, Seen> seen;
    auto requests = service->requests();
    std::size_t failedRequests = 0;
    for (std::size_t r = 0; r < requests.size(); ++r) {
        const auto& request = requests[r];
        ASSERT_TRUE(request.json) << r;
        bool accepted =
            request.answered.delivered && request.answered.status >= 200 && request.answered.status <= 299;
        failedRequests += accepted ? 0 : 1;
        for (const auto& event : request.json->value("events", Value::array())) {
            auto& s = seen[event.at("localId").get<std::string>()];
            s.requests.push_back(r);
            s.error = event.at("eventType") == "error";
            auto extra = event.value("extra", Value::object());
            if (extra.value("action_name", "") == kOwn)
                s.n = std::stoi(extra.value("item_id", "-1"));
            if (accepted)
                ++s.accepted;
            else
                s.failed.push_back(r);
        }
    }
    EXPECT_GT(failedRequests, 10u) << "the failures must have been exercised";

    std::set<int> acceptedOwn;
    std::size_t resent = 0;
    for (const auto& [id, s] : seen) {
        SCOPED_TRACE(id);
        EXPECT_LE(s.accepted, 1u) << "accepted more than once";
        if (s.n) {
            EXPECT_EQ(s.accepted, 1u);
            acceptedOwn.insert(*s.n);
        }
        // The library's own "error" events may be dropped by their cap before they go again.
        if (s.error && !s.n)
            continue;
        for (std::size_t failed : s.failed) {
            bool again =
                std::any_of(s.requests.begin(), s.requests.end(), [&](std::size_t r) { return r > failed; });
            EXPECT_TRUE(again) << "not sent again after request " << failed;
            resent += again ? 1 : 0;
        }
    }
    EXPECT_EQ(acceptedOwn.size(), static_cast<std::size_t>(logged))
        << "every stored event reached the service";
    EXPECT_GT(resent, 0u);
}

}  // namespace
}  // namespace zarn
