#pragma once
// What the benchmarks share: a temporary folder, fresh database paths in it, and the simulated
// device installed as the platform with virtual time.
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "core/ZarnPClockDao.h"
#include "core/ZarnPLogger.h"
#include "sim/Device.h"
#include "testing/RecordingConsole.h"
#include "testing/VirtualTimeSource.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/Platform.h"

namespace zarn::bench {

// A new folder "<name>-XXXXXX" under $ZARN_BENCH_DIR (or /tmp); /tmp itself when none can be made.
inline std::string benchDirectory(const std::string& name) {
    const char* root = std::getenv("ZARN_BENCH_DIR");
    std::string templ = std::string(root && *root ? root : "/tmp") + "/" + name + "-XXXXXX";
    const char* dir = mkdtemp(templ.data());
    return dir ? dir : "/tmp";
}

// `name` in `dir`, with no file there yet: a database left by an earlier run is removed with its
// journal, -wal and -shm files.
inline std::string freshPath(const std::string& dir, const std::string& name) {
    std::string path = dir + "/" + name;
    std::error_code ec;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::filesystem::remove(path + suffix, ec);
    return path;
}

// Two ways of doing the same work measured in alternating sections, ABBA..., so that neither
// always runs after the other (and finds the caches as the other left them); each section
// answers its figure, and each way's median comes back, which a section slowed by another
// process on the machine does not move.
template <typename A, typename B>
std::pair<double, double> alternatingSections(int sections, A&& a, B&& b) {
    std::vector<double> figuresA, figuresB;
    for (int i = 0; i < sections; ++i) {
        if (i % 2 == 0) {
            figuresA.push_back(a());
            figuresB.push_back(b());
        } else {
            figuresB.push_back(b());
            figuresA.push_back(a());
        }
    }
    auto median = [](std::vector<double>& figures) {
        std::sort(figures.begin(), figures.end());
        size_t n = figures.size();
        return n == 0 ? 0.0 : n % 2 ? figures[n / 2] : (figures[n / 2 - 1] + figures[n / 2]) / 2;
    };
    return {median(figuresA), median(figuresB)};
}

// A clock the benchmark moves by hand, from 2026-11-30 12:00 UTC, a Monday; local time is UTC.
class SteppedClock final : public ZarnPClockDao {
  public:
    Date now() override { return dateWithTimeIntervalSince1970(seconds); }
    int64_t nowWithTimeZoneOffsetMilliseconds() override { return static_cast<int64_t>(seconds * 1000); }
    double seconds = 1796040000.0;
};

// The simulated device over a new home folder, installed as the platform with a virtual clock
// at `start` in the zone `zoneOffset` seconds east of UTC; the calling thread is the main one
// and only errors are logged. Leaving uninstalls the platform and removes the home folder, so
// whatever uses the platform or the folder goes first.
struct SimulatedHost {
    SimulatedHost(const std::string& name, double start, int zoneOffset)
        : home(benchDirectory(name)),
          time(std::make_shared<platform::VirtualTimeSource>(dateWithTimeIntervalSince1970(start),
                                                             zoneOffset)),
          device(std::make_shared<sim::Device>(time)) {
        services.timeSource = time;
        services.console = std::make_shared<platform::RecordingConsole>();
        services.fileSystem = std::make_shared<platform::PosixFileSystem>(home);
        device->provide(services);
        platform::install(services);
        platform::markMainThread();
        ZarnPLogger::instance().setLevel(ZarnPLogLevelError);
    }
    ~SimulatedHost() {
        platform::uninstall();
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }
    SimulatedHost(const SimulatedHost&) = delete;
    SimulatedHost& operator=(const SimulatedHost&) = delete;

    std::string home;
    std::shared_ptr<platform::VirtualTimeSource> time;
    std::shared_ptr<sim::Device> device;
    platform::Services services;
};

}  // namespace zarn::bench
