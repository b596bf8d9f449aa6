// The example host: installs the simulated device, initialises the library with a configuration
// and a delegate, and replays the example route (a walk, then a tram ride) on simulated time. The
// app is in the foreground for the first half and in the background for the rest. It prints,
// against simulated time, when the library asked for fixes, the significant changes the device
// reported, and each location update run with its outcome; then the library's broadcasts and
// its requests to the test service, which serves the example campaigns over loopback HTTPS.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "sim/DataUpdateBuilder.h"
#include "sim/Device.h"
#include "sim/HttpsTestServer.h"
#include "sim/LocationWorld.h"
#include "sim/Route.h"
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

#ifndef ZARN_EXAMPLES_DIR
#define ZARN_EXAMPLES_DIR "examples"
#endif

namespace {

// The campaigns come from the test service over loopback HTTPS: it answers every data-update
// request with the example campaigns, and the library reaches it through the platform's HTTPS
// client, trusting the service's own certificate. Null when the service cannot start.
struct CampaignService {
    std::shared_ptr<zarn::sim::TestService> service = std::make_shared<zarn::sim::TestService>();
    std::unique_ptr<zarn::sim::HttpsTestServer> server;

    static std::unique_ptr<CampaignService> start(const std::string& campaignsPath, const std::string& home,
                                                  zarn::platform::Services& services) {
        std::string error;
        auto description = zarn::sim::DataUpdateBuilder::loadFile(campaignsPath, &error);
        if (!description) {
            std::fprintf(stderr, "cannot load the campaigns %s: %s\n", campaignsPath.c_str(), error.c_str());
            return nullptr;
        }
        auto running = std::make_unique<CampaignService>();
        running->service->setDataUpdate(zarn::sim::DataUpdateBuilder::build(*description));
        running->server = std::make_unique<zarn::sim::HttpsTestServer>(running->service, home);
        if (!running->server->start()) {
            std::fprintf(stderr, "cannot start the test service\n");
            return nullptr;
        }
        zarn::platform::CurlHttpClient::Options options;
        options.caFile = running->server->caFile();
        services.httpClient = std::make_shared<zarn::platform::CurlHttpClient>(options);
        services.serviceBaseAddress = running->server->baseAddress();
        std::printf("test service on %s\n", services.serviceBaseAddress.c_str());
        return running;
    }

    // Each request the service answered: its endpoint, its events and the answer's status.
    void printExchanges() {
        std::printf("-- requests to the test service --\n");
        for (const auto& r : service->requests()) {
            std::size_t events = r.json && r.json->contains("events") ? (*r.json)["events"].size() : 0;
            std::printf("%s %s: %zu events, %zu bytes of JSON -> %d\n", r.method.c_str(), r.endpoint.c_str(),
                        events, r.body.size(), r.answered.status);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    using namespace zarn;
    std::string routePath = argc > 1 ? argv[1] : ZARN_EXAMPLES_DIR "/route.txt";
    std::string error;
    auto route = sim::Route::load(routePath, &error);
    if (!route || route->empty()) {
        std::fprintf(stderr, "cannot load the route %s: %s\n", routePath.c_str(), error.c_str());
        return 1;
    }

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
    auto campaigns = CampaignService::start(ZARN_EXAMPLES_DIR "/campaigns.json", home, services);
    if (!campaigns)
        return 1;
    platform::install(services);
    platform::markMainThread();
    auto location = device->location();
    location->position()->set(route->waypoints().front().coordinate);

    auto delegate = std::make_shared<ZarnDelegate>();
    delegate->zarnNotificationSentEvent = [](std::shared_ptr<ZarnSentNotification> n) {
        std::printf("sent: %s\n", n->description().c_str());
    };
    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("sim-public-token"));
    configuration->setDelegate(delegate);

    auto elapsed = [&] { return timeIntervalSince1970(time->now()) - start; };
    // What happened, against simulated time (from the SDK thread and the main thread alike).
    std::mutex linesMutex;
    std::vector<std::string> timeline;
    std::vector<std::string> broadcasts;
    auto stamp = [&](const std::string& what) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%9.1f  ", elapsed());
        return buffer + what;
    };
    auto center = platform::defaultCenter();
    int observer = 0;
    center->addObserver(&observer, "", [&](const platform::Broadcast& b) {
        if (b.name.rfind("Zarn_", 0) != 0)
            return;
        std::lock_guard lk(linesMutex);
        broadcasts.push_back(stamp(b.name));
        if (b.name != "Zarn_Location_Update_Completed")
            return;
        auto fix = b.get<std::shared_ptr<ZarnLocationWithAccuracy>>("current_location");
        timeline.push_back(stamp(fix && *fix
                                     ? "location update run ended with the fix " + (*fix)->description()
                                     : std::string("location update run ended without a fix")));
    });

    std::printf("Zarn %s on a simulated device (system %s), home %s\n", ZarnBase::version().c_str(),
                device->deviceInfo()->systemVersion().c_str(), home);
    std::printf("route %s: %zu waypoints, %.0f s\n", routePath.c_str(), route->waypoints().size(),
                route->duration());
    ZarnBase::performInitializationWithConfiguration(configuration);
    time->advanceBy(1.0);
    location->position()->follow(*route);

    // Second by second, what the library asked of the device.
    bool updating = false;
    int significant = 0;
    const double end = route->duration() + 60;
    bool background = false;
    while (elapsed() < end) {
        if (!background && elapsed() > route->duration() / 2) {
            background = true;
            device->application()->resignActive();
            std::lock_guard lk(linesMutex);
            timeline.push_back(stamp("the app goes to the background"));
        }
        time->advanceBy(1.0);
        std::lock_guard lk(linesMutex);
        if (location->fixes()->isRunning() != updating) {
            updating = !updating;
            timeline.push_back(
                stamp(updating ? "library asked for fixes (standard updates on)" : "standard updates off"));
        }
        if (int n = location->significantChanges()->deliveries(); n != significant) {
            significant = n;
            timeline.push_back(stamp("significant location change delivered"));
        }
    }
    center->removeObserver(&observer);

    std::lock_guard lk(linesMutex);
    std::printf("-- fixes and location update runs (simulated seconds since start) --\n");
    for (auto& line : timeline) std::printf("%s\n", line.c_str());
    std::printf("-- broadcasts --\n");
    for (auto& line : broadcasts) std::printf("%s\n", line.c_str());
    campaigns->printExchanges();
    std::printf("fix requests: %d, significant changes: %d, enabled: %s\n", location->fixes()->startCount(),
                location->significantChanges()->deliveries(), ZarnBase::isEnabled() ? "yes" : "no");
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
