#include "tests/support/TestEnvironment.h"

#include "sim/Device.h"
#include "sim/LocationWorld.h"
#include "zarn/Value.h"

#include <cstdlib>
#include <filesystem>

namespace zarn::test {

TestEnvironment::TestEnvironment(long offset) {
    char templ[] = "/tmp/zarn-test-XXXXXX";
    const char* dir = mkdtemp(templ);
    home = dir ? dir : "/tmp";
    time = std::make_shared<platform::VirtualTimeSource>(dateWithTimeIntervalSince1970(kStart), offset);
    console = std::make_shared<platform::RecordingConsole>();
    userDefaults = std::make_shared<platform::MemoryUserDefaults>();
    fileSystem = std::make_shared<platform::PosixFileSystem>(home);
    device = std::make_shared<sim::Device>(time);
    platform::Services services;
    services.timeSource = time;
    services.console = console;
    services.userDefaults = userDefaults;
    services.fileSystem = fileSystem;
    device->provide(services);
    location = device->location();
    platform::install(services);
    platform::markMainThread();
}

int TestEnvironment::consoleCount(const std::string& fragment) {
    int n = 0;
    for (auto& l : console->lines())
        if (l.find(fragment) != std::string::npos)
            ++n;
    return n;
}

TestEnvironment::~TestEnvironment() {
    platform::uninstall();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
}

}  // namespace zarn::test
