// A simulated day of the library on the simulated device: 24 hours of commuting between home and
// work (the app in the background with significant changes, in the foreground four times for ten
// minutes), against a floor from the same binary: the same day of the simulated device alone,
// without the library. Prints the wall time, the simulated-to-wall ratio and the commits
// (fdatasync) per simulated hour. Set ZARN_BENCH_DIR to put the home directory on tmpfs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ZarnPLogger.h"
#include "entry/ZarnBaseTesting.h"
#include "sim/Device.h"
#include "sim/LocationWorld.h"
#include "sim/Route.h"
#include "testing/RecordingConsole.h"
#include "testing/SyncCountingVfs.h"
#include "testing/VirtualTimeSource.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/Platform.h"

namespace {

using namespace zarn;

constexpr double kDay = 24 * 3600.0;
constexpr double kStep = 60.0;
const platform::LocationCoordinate2D kHome{52.5200, 13.4050};
const platform::LocationCoordinate2D kWork{52.4800, 13.3500};  // about 5.7 km away

// Out at 8, back at 17, a walk round the block at 12 and 20; each leg takes 40 minutes.
sim::Route commute() {
    std::vector<sim::Waypoint> points{{0, kHome}};
    auto leg = [&](double hour, platform::LocationCoordinate2D from, platform::LocationCoordinate2D to) {
        points.push_back({hour * 3600, from});
        points.push_back({hour * 3600 + 2400, to});
    };
    platform::LocationCoordinate2D block{kWork.latitude + 0.01, kWork.longitude + 0.01};
    platform::LocationCoordinate2D park{kHome.latitude + 0.01, kHome.longitude - 0.01};
    leg(8, kHome, kWork);
    leg(12, kWork, block);
    leg(13, block, kWork);
    leg(17, kWork, kHome);
    leg(20, kHome, park);
    leg(21, park, kHome);
    points.push_back({kDay, kHome});
    return sim::Route(points);
}

struct Day {
    double wallSeconds = 0;
    uint64_t syncs = 0;
    int fixRequests = 0;
    int significantChanges = 0;
};

// One simulated day; with the library initialised and enabled when `library` is set.
Day runDay(bool library) {
    bench::SimulatedHost host("zarn-day", 1796000000.0, 3600);
    const auto& time = host.time;
    const auto& device = host.device;
    auto location = device->location();
    location->position()->set(kHome);
    device->application()->resignActive();

    test::SyncCountingVfs::install().reset();
    auto began = std::chrono::steady_clock::now();
    if (library) {
        auto c = ZarnConfiguration::create();
        c->setPublicToken(std::string("bench-token"));
        c->setDelegate(std::make_shared<ZarnDelegate>());
        ZarnBase::performInitializationWithConfiguration(c);
    }
    location->position()->follow(commute());
    const std::vector<double> foregroundHours{7.5, 12.5, 18, 21.5};
    for (double at = 0; at < kDay; at += kStep) {
        for (double hour : foregroundHours) {
            if (at == hour * 3600)
                device->application()->becomeActive();
            if (at == hour * 3600 + 600)
                device->application()->resignActive();
        }
        time->advanceBy(kStep);
    }
    Day day;
    day.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    day.syncs = test::SyncCountingVfs::install().syncs();
    day.fixRequests = location->fixes()->startCount();
    day.significantChanges = location->significantChanges()->deliveries();
    location->position()->stopRoute();
    if (library) {
        testing::resetEntry();
        time->runUntilIdle();
    }
    return day;
}

void BM_LocationDay(benchmark::State& state) {
    Day floor, day;
    for (auto _ : state) {
        floor = runDay(false);
        day = runDay(true);
    }
    state.counters["wall_s"] = day.wallSeconds;
    state.counters["floor_wall_s"] = floor.wallSeconds;
    state.counters["sim_to_wall"] = kDay / day.wallSeconds;
    state.counters["fdatasync_per_sim_h"] = static_cast<double>(day.syncs) / 24.0;
    std::printf(
        "\nsimulated day: %.3f s wall (floor, the device alone: %.3f s), simulated-to-wall %.0f:1, "
        "%.1f fdatasync per simulated hour (%llu in the day), %d fix requests, %d significant changes\n",
        day.wallSeconds, floor.wallSeconds, kDay / day.wallSeconds, static_cast<double>(day.syncs) / 24.0,
        static_cast<unsigned long long>(day.syncs), day.fixRequests, day.significantChanges);
}

}  // namespace

BENCHMARK(BM_LocationDay)->Iterations(1)->Unit(benchmark::kMillisecond);
