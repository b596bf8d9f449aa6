// A simulated day of the library on the simulated device: 24 hours of commuting between home and
// work (the app in the background with significant changes, in the foreground four times for ten
// minutes), against floors from the same binary: the same day of the simulated device alone,
// without the library, for the wall time; and for the disk, the day's own write statements
// replayed on a bare connection in the transactions they ran in, at FULL where someone outside is
// told and NORMAL elsewhere, the log synced 15 minutes after the first unsynced commit and when the
// app leaves the foreground (bench/TierReplay.h); beside it, what one FULL commit per instant of
// virtual time that wrote costs (the one-tier model). Prints the wall time, the simulated-to-wall
// ratio, the fdatasync calls and KiB written per simulated hour with their floors, and the
// statements behind the syncs. Set ZARN_BENCH_DIR to put the home directory on tmpfs.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/SyncLedger.h"
#include "bench/TierReplay.h"
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
    uint64_t bytes = 0;
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

    auto& ledger = bench::SyncLedger::instance();
    ledger.install();
    ledger.writes.clear();
    ledger.marks.clear();
    ledger.clock = [time] { return timeIntervalSince1970(time->now()); };
    ledger.start();
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
            if (at == hour * 3600 + 600) {
                ledger.marks.push_back(timeIntervalSince1970(time->now()));
                device->application()->resignActive();
            }
        }
        time->advanceBy(kStep);
    }
    ledger.stop();
    ledger.clock = nullptr;
    Day day;
    day.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    day.syncs = test::SyncCountingVfs::install().syncs();
    day.bytes = test::SyncCountingVfs::install().bytesWritten();
    day.fixRequests = location->fixes()->startCount();
    day.significantChanges = location->significantChanges()->deliveries();
    location->position()->stopRoute();
    if (library) {
        testing::resetEntry();
        time->runUntilIdle();
    }
    return day;
}

struct Replay {
    uint64_t syncs = 0;
    uint64_t bytes = 0;
    size_t transactions = 0;
};

// The recorded statements on a bare connection to a new file, one transaction for each run of
// statements with the same `key`; the settings pragmas are the replay's own.
Replay replay(const std::vector<bench::SyncLedger::Write>& writes, const std::function<double(double)>& key) {
    std::string dir = bench::benchDirectory("zarn-day-floor");
    std::string path = bench::freshPath(dir, "floor.db");
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    auto& vfs = test::SyncCountingVfs::install();
    uint64_t syncs = vfs.syncs(), bytes = vfs.bytesWritten();
    Replay out;
    std::optional<double> open;
    for (const auto& write : writes) {
        if (write.sql.rfind("PRAGMA", 0) == 0 || write.sql.rfind("pragma", 0) == 0)
            continue;
        if (open && *open != key(write.at)) {
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            open.reset();
        }
        if (!open) {
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
            open = key(write.at);
            ++out.transactions;
        }
        sqlite3_exec(db, write.sql.c_str(), nullptr, nullptr, nullptr);
    }
    if (open)
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    out.syncs = vfs.syncs() - syncs;
    out.bytes = vfs.bytesWritten() - bytes;
    sqlite3_close(db);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return out;
}

void BM_LocationDay(benchmark::State& state) {
    Day floor, day;
    Replay bare, perInstant;
    std::map<std::string, uint64_t> statements;
    for (auto _ : state) {
        floor = runDay(false);
        day = runDay(true);
        statements = bench::SyncLedger::instance().perStatement;
        const auto& writes = bench::SyncLedger::instance().writes;
        std::string dir = bench::benchDirectory("zarn-day-tiers");
        {
            bench::TierReplay tiers(bench::freshPath(dir, "floor.db"));
            tiers.replay(writes, bench::SyncLedger::instance().marks);
            bare = {tiers.syncs, tiers.bytes, tiers.transactions};
        }
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        perInstant = replay(writes, [](double at) { return at; });
    }
    state.counters["wall_s"] = day.wallSeconds;
    state.counters["floor_wall_s"] = floor.wallSeconds;
    state.counters["sim_to_wall"] = kDay / day.wallSeconds;
    const double perHour = static_cast<double>(day.syncs) / 24.0;
    const double floorPerHour = static_cast<double>(bare.syncs) / 24.0;
    const double instantPerHour = static_cast<double>(perInstant.syncs) / 24.0;
    const double kib = static_cast<double>(day.bytes) / 1024.0 / 24.0;
    const double floorKib = static_cast<double>(bare.bytes) / 1024.0 / 24.0;
    const double instantKib = static_cast<double>(perInstant.bytes) / 1024.0 / 24.0;
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
    state.counters["fdatasync_per_sim_h"] = perHour;
    state.counters["kib_per_sim_h"] = kib;
    state.counters["sync_ratio"] = ratio(perHour, floorPerHour);
    std::printf(
        "\nsimulated day: %.3f s wall (floor, the device alone: %.3f s), simulated-to-wall %.0f:1, "
        "%d fix requests, %d significant changes\n"
        "  %.2f fdatasync and %.1f KiB written per simulated hour (%llu fdatasync in the day)\n"
        "  floor, the day's write statements replayed on a bare connection in their %zu transactions, FULL "
        "where someone is told and NORMAL elsewhere, synced 15 minutes after the first unsynced commit and "
        "when the app leaves the foreground: %.2f fdatasync (%.2fx), %.1f KiB (%.2fx) per hour\n"
        "  the one-tier model, every instant of virtual time that wrote one FULL transaction (%zu): %.2f "
        "fdatasync (%.2fx), %.1f KiB (%.2fx) per hour\n"
        "  the syncs per simulated hour by statement (a commit by the writes of its transaction):\n",
        day.wallSeconds, floor.wallSeconds, kDay / day.wallSeconds, day.fixRequests, day.significantChanges,
        perHour, kib, static_cast<unsigned long long>(day.syncs), bare.transactions, floorPerHour,
        ratio(perHour, floorPerHour), floorKib, ratio(kib, floorKib), perInstant.transactions, instantPerHour,
        ratio(perHour, instantPerHour), instantKib, ratio(kib, instantKib));
    bench::SyncLedger::instance().perStatement = statements;
    bench::SyncLedger::instance().print(24.0);
}

}  // namespace

BENCHMARK(BM_LocationDay)->Iterations(1)->Unit(benchmark::kMillisecond);
