// The example host: installs the simulated device, initialises the library with a
// configuration and a delegate, runs the main loop for a few simulated seconds with one switch to
// another app, and prints the library's broadcasts in their order and what it logged.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "sim/Device.h"
#include "sim/LocationWorld.h"
#include "testing/RecordingConsole.h"
#include "testing/VirtualTimeSource.h"
#include "zarn/Date.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnValues.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/Platform.h"

int main(int argc, char** argv) {
    using namespace zarn;
    double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;

    char templ[] = "/tmp/zarn-sim-XXXXXX";
    const char* home = mkdtemp(templ);
    if (!home) {
        std::perror("mkdtemp");
        return 1;
    }

    const double start = 1796000000.0;
    auto time = std::make_shared<platform::VirtualTimeSource>(dateWithTimeIntervalSince1970(start), 3600);
    auto console = std::make_shared<platform::RecordingConsole>();
    auto device = std::make_shared<sim::Device>(time);
    platform::Services services;
    services.timeSource = time;
    services.console = console;
    services.fileSystem = std::make_shared<platform::PosixFileSystem>(home);
    device->provide(services);
    auto location = sim::LocationWorld::create(time);
    location->provide(services);
    platform::install(services);
    platform::markMainThread();

    auto delegate = std::make_shared<ZarnDelegate>();
    delegate->zarnNotificationSentEvent = [](std::shared_ptr<ZarnSentNotification> n) {
        std::printf("sent: %s\n", n->description().c_str());
    };
    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("sim-public-token"));
    configuration->setDelegate(delegate);

    // The library's broadcasts, in the order they are posted (from any thread).
    std::mutex broadcastsMutex;
    std::vector<std::string> broadcasts;
    auto center = platform::defaultCenter();
    int observer = 0;
    center->addObserver(&observer, "", [&](const platform::Broadcast& b) {
        if (b.name.rfind("Zarn_", 0) != 0)
            return;
        std::lock_guard lk(broadcastsMutex);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%8.3f  ", timeIntervalSince1970(time->now()) - start);
        broadcasts.push_back(stamp + b.name);
    });

    std::printf("Zarn %s on a simulated device (system %s), home %s\n", ZarnBase::version().c_str(),
                device->deviceInfo()->systemVersion().c_str(), home);
    ZarnBase::performInitializationWithConfiguration(configuration);
    // The main thread runs the main loop while simulated time passes; halfway the user leaves
    // the app for a moment.
    time->advanceBy(seconds / 2);
    device->application()->resignActive();
    time->advanceBy(1.0);
    device->application()->becomeActive();
    time->advanceBy(seconds / 2);
    center->removeObserver(&observer);

    std::printf("-- broadcasts (simulated seconds since start) --\n");
    {
        std::lock_guard lk(broadcastsMutex);
        for (auto& line : broadcasts) std::printf("%s\n", line.c_str());
    }

    std::printf("-- what the library logged in %.1f simulated seconds --\n", seconds + 1.0);
    for (auto& line : console->lines()) std::printf("%s\n", line.c_str());
    std::printf("enabled: %s\n", ZarnBase::isEnabled() ? "yes" : "no");
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
