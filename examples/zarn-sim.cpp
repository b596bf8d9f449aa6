// The example host: installs the simulated device, initialises the library with a
// configuration and a delegate, runs the main loop for a few simulated seconds and prints what
// the library logged.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Platform.h"
#include "platform/VirtualTimeSource.h"
#include "sim/Device.h"
#include "zarn/ZarnBase.h"

int main(int argc, char** argv) {
    using namespace zarn;
    double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;

    char templ[] = "/tmp/zarn-sim-XXXXXX";
    const char* home = mkdtemp(templ);
    if (!home) {
        std::perror("mkdtemp");
        return 1;
    }

    auto time = std::make_shared<platform::VirtualTimeSource>(dateWithTimeIntervalSince1970(1796000000.0), 3600);
    auto console = std::make_shared<platform::RecordingConsole>();
    auto device = std::make_shared<sim::Device>();
    platform::Services services;
    services.timeSource = time;
    services.console = console;
    services.fileSystem = std::make_shared<platform::PosixFileSystem>(home);
    device->provide(services);
    platform::install(services);
    platform::markMainThread();

    auto delegate = std::make_shared<ZarnDelegate>();
    delegate->zarnNotificationSentEvent = [](std::shared_ptr<ZarnSentNotification> n) {
        std::printf("sent: %s\n", n->description().c_str());
    };
    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("sim-public-token"));
    configuration->setDelegate(delegate);

    std::printf("Zarn %s on a simulated device (system %s), home %s\n", ZarnBase::version().c_str(),
                device->systemVersion().c_str(), home);
    ZarnBase::performInitializationWithConfiguration(configuration);
    ZarnBase::enable();
    // The main thread runs the main loop while simulated time passes.
    time->advanceBy(seconds);

    std::printf("-- what the library logged in %.1f simulated seconds --\n", seconds);
    for (auto& line : console->lines()) std::printf("%s\n", line.c_str());
    std::printf("enabled: %s\n", ZarnBase::isEnabled() ? "yes" : "no");
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
