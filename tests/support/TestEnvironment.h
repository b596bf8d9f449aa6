#pragma once
// One independent world per test: a temporary home, virtual time, a recording console, memory
// user defaults and a simulated device, installed as the platform. The test thread is the main
// thread, so advanceBy() runs the main loop's tasks on it.
// The simulated device is only named here: a test that reaches into env.device or env.location
// includes sim/Device.h or sim/LocationWorld.h itself.
#include <memory>
#include <string>

#include "testing/RecordingConsole.h"
#include "testing/VirtualTimeSource.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/UserDefaults.h"

namespace zarn::sim {
class Device;
class LocationWorld;
}  // namespace zarn::sim

namespace zarn::test {

class TestEnvironment {
  public:
    // 2026-12-01 12:00:00 UTC
    static constexpr double kStart = 1796126400.0;

    explicit TestEnvironment(long timeZoneOffsetSeconds = 0);
    ~TestEnvironment();

    void advanceBy(double seconds) { time->advanceBy(seconds); }
    void runUntilIdle() { time->runUntilIdle(); }
    bool consoleContains(const std::string& fragment) { return console->contains(fragment); }
    int consoleCount(const std::string& fragment);
    std::string path(const std::string& relative) const { return home + "/" + relative; }

    std::string home;
    std::shared_ptr<platform::VirtualTimeSource> time;
    std::shared_ptr<platform::RecordingConsole> console;
    std::shared_ptr<platform::MemoryUserDefaults> userDefaults;
    std::shared_ptr<platform::PosixFileSystem> fileSystem;
    std::shared_ptr<sim::Device> device;
    std::shared_ptr<sim::LocationWorld> location;
};

}  // namespace zarn::test
