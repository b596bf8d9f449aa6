// A simulated week of the whole library on the simulated device: a daily commute past stored
// geofence campaigns, a pushed data update each day, a service that fails often (5xx, dropped
// connections, answers past the timeout, slow answers, corrupt bodies), and the user switching
// the app between foreground and background with short background allowances. Afterwards every
// event the library logged reached the service or was dropped by its type's cap, no background
// task outlived its background time, no tracking context outlived the library, and resident
// memory did not grow between the second and the last day.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include <unistd.h>

#include "core/ZarnPContext.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPGzipHelper.h"
#include "sim/Device.h"
#include "sim/Route.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/TestService.h"
#include "store/ZarnPSqLiteEventDao.h"
#include "tests/support/ScenarioDoubles.h"
#include "tests/support/StartedLibrary.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZARN_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZARN_SOAK_SANITIZED 1
#endif
#endif

namespace zarn {
namespace {

#ifdef ZARN_SOAK_SANITIZED
// Sanitizers slow every step and hold freed memory in quarantine: a shorter week, no memory check.
constexpr int kDays = 5;
constexpr bool kCheckMemory = false;
#else
constexpr int kDays = 7;
constexpr bool kCheckMemory = true;
#endif

constexpr double kDay = 86400;
constexpr double kLat = 52.52;
constexpr double kHomeLon = 13.3900;
constexpr double kWorkLon = 13.4300;

// The caps the event store enforces per type; every other type is kept until it is sent.
constexpr std::pair<std::string_view, int> kEventCaps[] = {{"error", 15}, {"location_acquired", 2000}};

std::optional<int> capOf(std::string_view type) {
    for (const auto& [name, cap] : kEventCaps)
        if (name == type)
            return cap;
    return std::nullopt;
}

std::vector<std::uint8_t> commuteCampaigns(int version) {
    sim::DataUpdateDescription d{.deleteAllOldData = true};
    d.campaigns = {{.campaignId = "bakery", .message = "Fresh bread, day " + std::to_string(version)},
                   {.campaignId = "station", .message = "Your tram leaves soon", .triggerOnExit = true},
                   {.campaignId = "office", .message = "Lunch deal", .dwellingMinutes = 2}};
    auto at = [](const char* campaign, const char* id, double lon, int32_t range) {
        return sim::DataUpdateNotification{.campaign = campaign,
                                           .geofenceId = id,
                                           .location = {{static_cast<float>(kLat), static_cast<float>(lon)}},
                                           .matchRange = range};
    };
    d.tiles.push_back({.value = "u33d",
                       .notifications = {at("bakery", "b", 13.3990, 150), at("station", "s", 13.4110, 150),
                                         at("office", "o", 13.4290, 200)}});
    return sim::DataUpdateBuilder::build(d);
}

std::string pushPayload(const std::vector<std::uint8_t>& bytes) {
    auto gz = ZarnPGzipHelper::gzipDeflate(std::span<const std::uint8_t>(bytes));
    return ZarnPDataHelper::base64EncodedStringSingleLine(std::span<const std::uint8_t>(*gz));
}

// Resident bytes of this process.
long residentBytes() {
    long size = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

class WeekSoakTest : public test::StartedLibraryTest {
  protected:
    void SetUp() override {
        test::installTestService(service);
        StartedLibraryTest::SetUp();
        service->setDataUpdateSource(
            [this](const sim::RecordedRequest&) { return commuteCampaigns(version); });
        auto push = env.device->pushService();
        push->setAppHandlers(
            [](const std::string& token) {
                ZarnBase::didRegisterForRemoteNotificationsWithDeviceToken(token);
            },
            [](const Value& payload, sim::SimPushService::FetchCompletion completion) {
                ZarnBase::didReceiveRemoteNotification(payload, std::move(completion));
            });
        push->setSystemDeviceToken("device-token-1");
        push->refreshRegistrationToken("registration-1");
        accepted.reserve(200000);
        env.location->position()->set({kLat, kHomeLon});
    }

    // Moves what the console and the service recorded into the tallies, so neither grows with
    // the week.
    void tally() {
        static constexpr std::string_view kLogged = "Logging event: ";
        for (const auto& line : env.console->lines()) {
            auto at = line.find(kLogged);
            if (at == std::string::npos)
                continue;
            at += kLogged.size();
            ++logged[line.substr(at, line.find(' ', at) - at)];
        }
        env.console->clear();
        for (const auto& request : service->requests()) {
            ++requests;
            bool ok = request.answered.delivered && request.answered.status >= 200 &&
                      request.answered.status <= 299;
            failedRequests += ok ? 0 : 1;
            if (!ok || !request.json)
                continue;
            for (const auto& event : request.json->value("events", Value::array())) {
                if (accepted.insert(event.value("localId", std::string())).second)
                    ++received[event.value("eventType", std::string())];
                else
                    ++acceptedAgain;
            }
        }
        service->clearRequests();
    }

    // Rides from where the device is to `lon` in `seconds`; the system grants short background
    // time again every few minutes, as region events and fixes wake the app.
    void ride(double lon, double seconds) {
        auto from = env.location->position()->current();
        ASSERT_TRUE(from);
        env.location->position()->follow(sim::Route({{0, *from}, {seconds, {kLat, lon}}}));
        for (double s = 0; s < seconds + 120; s += 60) {
            if (static_cast<int>(s) % 300 == 0 && !foreground)
                grantBackgroundTime();
            env.advanceBy(60);
        }
    }

    void useApp(double seconds) {
        env.device->application()->enterForeground();
        foreground = true;
        env.advanceBy(seconds);
        env.device->application()->enterBackgroundFromForeground();
        foreground = false;
        grantBackgroundTime();
        env.advanceBy(60);
    }

    // Sometimes ample, sometimes so short that the expiration handlers must end the tasks.
    void grantBackgroundTime() {
        const double allowances[] = {40, 12, 4};
        env.device->application()->enterBackground(allowances[rng() % std::size(allowances)], 5);
    }

    // A day's share of service trouble; later requests get normal answers. During an outage
    // every connection drops, so connectivity "error" events pile up past their cap.
    void troubleForTheDay(bool outage) {
        using K = sim::TestAnswer::Kind;
        const sim::TestAnswer failures[] = {{K::Empty, 500}, {K::Empty, 503},
                                            {K::Drop, 200},  {K::Normal, 200, 31.0},  // past the timeout
                                            {K::Empty, 404}, {K::Corrupt, 200}};
        const sim::TestAnswer fine[] = {{K::Normal, 200}, {K::Normal, 200, 0.002}, {K::Empty, 204}};
        service->setDefaultAnswer(outage ? sim::TestAnswer{K::Drop, 200} : sim::TestAnswer{});
        service->clearAnswers();
        for (int i = 0; i < (outage ? 0 : 12); ++i) {
            bool fail = std::uniform_int_distribution<int>(0, 99)(rng) < 45;
            service->queueAnswer(fail ? failures[rng() % std::size(failures)]
                                      : fine[rng() % std::size(fine)]);
        }
    }

    void untilNextDay(double dayStart) {
        while (env.time->now() < dateWithTimeIntervalSince1970(dayStart + kDay)) env.advanceBy(900);
    }

    int storedEvents() {
        auto g = ground();
        return g->onSdk([&] { return g->events()->getEventCount(); });
    }

    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
    std::mt19937 rng{20261201};
    int version = 0;
    bool foreground = true;
    std::unordered_set<std::string> accepted;
    std::map<std::string, int> logged, received;
    int acceptedAgain = 0, requests = 0, failedRequests = 0;
};

TEST_F(WeekSoakTest, AWeekOfCommutesPushesFailuresAndAppSwitches) {
    initialize();
    ASSERT_TRUE(ZarnBase::isEnabled());
    env.advanceBy(60);
    auto push = env.device->pushService();
    long residentDay2 = 0, residentLastDay = 0;
    int shown = 0;
    double day0 = timeIntervalSince1970(env.time->now());

    for (int day = 1; day <= kDays; ++day) {
        SCOPED_TRACE(day);
        double start = day0 + (day - 1) * kDay;
        // The service is down from the third day's morning to the sixth day's.
        troubleForTheDay(day >= 3 && day <= 5);
        // Morning: a look at the app, then the commute in the background.
        useApp(300);
        ride(kWorkLon, 1500);
        tally();
        // The service pushes the new campaigns; every other day a payload nothing can decode.
        ++version;
        size_t delivery = push->deliver({{"zarn_v2", day % 2 == 0 ? std::string("bm90IGFuIHVwZGF0ZQ==")
                                                                  : pushPayload(commuteCampaigns(version))}});
        env.advanceBy(60);
        EXPECT_EQ(push->completionCounts().at(delivery), 1) << "each pushed message is completed once";
        // Lunch: the app in the foreground twice, background time running out between.
        for (int look = 0; look < 6; ++look) {
            useApp(30 + 30 * look);
            env.advanceBy(1200);
        }
        // Evening: the way home, then the night.
        ride(kHomeLon, 1500);
        tally();
        untilNextDay(start);
        tally();
        shown = static_cast<int>(env.device->localNotificationCenter()->deliveredNotifications().size());
        if (day == 2)
            residentDay2 = residentBytes();
        if (day == kDays)
            residentLastDay = residentBytes();
    }

    // A quiet spell: the service answers well until nothing waits; disabling sends what waits.
    service->clearAnswers();
    service->setDefaultAnswer({});
    for (int i = 0; i < 60 && storedEvents() > 0; ++i) {
        ZarnBase::disable();
        env.advanceBy(5);
    }
    int stored = storedEvents();
    tally();
    EXPECT_EQ(stored, 0);

    // The week really exercised the library, the failures, the error cap and the expiry road.
    EXPECT_GT(shown, kDays) << "notifications were shown along the commute";
    EXPECT_GT(failedRequests, 2 * kDays);
    EXPECT_GT(logged["location_acquired"], 0);
    EXPECT_GE(logged["heartbeat"], kDays);
    EXPECT_GT(logged["error"], 15) << "the outage piled up more errors than their cap";

    // Every logged event reached the service once; only a capped type may fall short, by what
    // exceeded its cap.
    EXPECT_EQ(acceptedAgain, 0);
    int shortfall = 0;
    for (const auto& [type, count] : logged) {
        SCOPED_TRACE(type);
        int missing = count - received[type];
        EXPECT_GE(missing, 0) << "the service received an event that was not logged";
        if (auto cap = capOf(type))
            EXPECT_LE(missing, std::max(0, count - *cap)) << "lost more than the cap explains";
        else
            EXPECT_EQ(missing, 0) << "an uncapped event was lost";
        shortfall += std::max(0, missing);
    }
    for (const auto& [type, count] : received) EXPECT_TRUE(logged.count(type)) << type;

    // No background task outlived its background time.
    auto tasks = env.device->backgroundTasks();
    EXPECT_GT(tasks->begunBackgroundTasks().size(), 10u);
    EXPECT_EQ(tasks->overdueBackgroundTasks().size(), 0u);
    EXPECT_EQ(tasks->runningBackgroundTasks().size(), 0u);

    // No run is left holding a tracking context once the library is gone.
    restart();
    EXPECT_EQ(ZarnPContext::liveCount(), 0);

    if (kCheckMemory) {
        ASSERT_GT(residentDay2, 0);
        EXPECT_LE(residentLastDay, residentDay2 + residentDay2 / 10)
            << "resident memory grew from " << residentDay2 << " to " << residentLastDay;
    }
    std::printf(
        "soak: %d days, %d requests (%d failed), %d events lost to caps, %d expiration handlers run, "
        "resident %ld -> %ld bytes\n",
        kDays, requests, failedRequests, shortfall, tasks->expirationHandlerRuns(), residentDay2,
        residentLastDay);
}

}  // namespace
}  // namespace zarn
