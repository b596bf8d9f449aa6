// The test service's life on both of its paths: a stop of the loopback server right after its
// start must end the listener, and an in-process service whose last reference goes with a
// completion must end on its own thread; either fault stalls or aborts the transport tests.
#include "sim/service/HttpsTestServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

TEST(HttpsTestServerTest, AStopRightAfterAStartAlwaysEndsTheListener) {
    test::TestEnvironment env;
    // The cycles run on a thread of their own so that a hung join fails the test instead of
    // stalling the run; that thread and its server are left behind when it hangs.
    struct Run {
        std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
        std::atomic<int> cycles{0};
        int failedStarts = 0;
    };
    auto run = std::make_shared<Run>();
    std::promise<void> finished;
    auto done = finished.get_future();
    std::thread([run, home = env.home, finished = std::move(finished)]() mutable {
        for (int i = 0; i < 40; ++i) {
            sim::HttpsTestServer server(run->service, home);
            if (!server.start())
                ++run->failedStarts;
            server.stop();
            server.stop();  // a second stop is harmless
            ++run->cycles;
        }
        {
            // One left to its destructor, which is done before the test goes on.
            sim::HttpsTestServer last(run->service, home);
            if (!last.start())
                ++run->failedStarts;
        }
        finished.set_value();
    }).detach();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "a stop did not end the listener; cycles done: " << run->cycles.load();
    EXPECT_EQ(run->cycles, 40);
    EXPECT_EQ(run->failedStarts, 0);
}

TEST(TestServiceTest, ALastReferenceThatGoesWithACompletionEndsTheServiceOnItsOwnThread) {
    for (int i = 0; i < 20; ++i) {
        auto service = std::make_shared<sim::TestService>();
        std::weak_ptr<sim::TestService> weak = service;
        std::promise<void> released;
        auto mayReturn = released.get_future().share();
        std::promise<int> answered;
        auto status = answered.get_future();
        platform::HttpRequest first;
        first.method = "POST";
        first.url = "https://service.test/v2/client/storeEvents";
        platform::HttpRequest second = first;
        // The first completion holds the service until the test has let go of it, so the
        // completion's reference is the last one; a request queued behind it is still answered.
        service->send(std::move(first),
                      [keep = service, mayReturn, &answered](platform::HttpResult result) mutable {
                          mayReturn.wait();
                          answered.set_value(result.response.statusCode);
                      });
        std::promise<bool> lost;
        auto secondLost = lost.get_future();
        service->send(std::move(second), [&lost](platform::HttpResult result) {
            lost.set_value(result.error && result.error->code == platform::kUrlErrorNetworkConnectionLost);
        });
        service.reset();
        released.set_value();
        ASSERT_EQ(status.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_EQ(status.get(), 200);
        ASSERT_EQ(secondLost.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        EXPECT_TRUE(secondLost.get()) << "a request left behind a gone service fails as lost";
        EXPECT_TRUE(weak.expired());
    }
}

}  // namespace
}  // namespace zarn
