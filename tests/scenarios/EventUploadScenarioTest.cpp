// The whole library against the test service while the service fails at random (seeded): events
// stored through the event service leave through "storeEvents" and with every data update, over
// restarts, until a final quiet spell drains them. Every event the library does not drop by its
// per-type caps is accepted by exactly one 2xx answer, and an event whose upload failed goes out
// again.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <set>

#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPSystemTimerDao.h"
#include "services/ZarnPContextService.h"
#include "services/ZarnPEventService.h"
#include "services/ZarnPLocationUpdating.h"
#include "services/ZarnPNotificationService.h"
#include "sim/DataUpdateBuilder.h"
#include "sim/TestService.h"
#include "store/ZarnPEventDao.h"
#include "tests/support/StartedLibrary.h"

namespace zarn {
namespace {

class EventUploadScenarioTest : public test::StartedLibraryTest {
  protected:
    void SetUp() override {
        // The service is the platform's HTTP client: every exchange of the library reaches it.
        auto services = platform::current();
        services.httpClient = service;
        services.serviceBaseAddress = "https://service.test/v2/client/";
        platform::install(services);
        platform::markMainThread();
        StartedLibraryTest::SetUp();
        service->setDataUpdate(sim::DataUpdateBuilder::build({.deleteAllOldData = true}));
        env.location->position()->set({52.5200, 13.4000});
    }

    template <typename F>
    void onSdk(F&& f) {
        module()->timerDao()->invokeBlockOnRunLoop(std::forward<F>(f), true);
    }

    int storedEvents() {
        int n = 0;
        onSdk([&] { n = module()->eventService()->eventDao()->getEventCount(); });
        return n;
    }

    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
};

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
        // An upload and a data update out at the same time, as when a region entry's run fetches
        // while an upload is still waiting for its answer.
        bool overlap = rng() % 3 == 0;
        onSdk([&] {
            auto events = module()->eventService();
            for (int i = 0; i < count; ++i) {
                // Types this run never fills to a cap: heartbeat, location_acquired (2000),
                // notification_sent (sent first in a batch).
                unsigned type = std::array<unsigned, 3>{10, 2, 4}[rng() % 3];
                events->logEventWithType(type, Value{{"n", logged++}}, nullptr);
            }
            if (upload)
                events->sendEvents();
            if (overlap)
                module()->notificationService()->storeEventsAndUpdateNotificationsForLocation(
                    std::make_shared<ZarnPLocationWithAccuracy>(52.52, 13.40, 20.0), false, true, true,
                    module()->contextService()->startContext(0));
            if (update)
                module()->locationUpdateService()->performFullUpdate(
                    module()->contextService()->startContext(0));
        });
        env.advanceBy(std::uniform_real_distribution<double>(1, 1500)(rng));
    }

    // A quiet spell: every answer succeeds until nothing waits.
    service->clearAnswers();
    for (int i = 0; i < 40 && storedEvents() > 0; ++i) {
        onSdk([&] { module()->eventService()->sendEvents(); });
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
            if (event.contains("extra") && event.at("extra").contains("n"))
                s.n = event.at("extra").at("n").get<int>();
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
