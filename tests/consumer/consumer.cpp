// A small host built from the installed headers alone. It installs its own minimal versions of
// the four required platform services (a device that never moves, an offline network) and a
// notification centre whose user granted notifications, with no separate authorization; runs
// the main loop from the loop's wake-up handler, initialises the library with a configuration,
// enables it, checks that the library reports the permission the user granted, sets a
// segmentation property, reads the loaded notifications, disables it and exits.
//
// Usage: consumer [--without FIELD | --no-main-loop] [HOME]. With --without the host leaves out
// that required service: initialisation must be refused with one ERROR line naming it, and the
// process must go on with the library off. With --no-main-loop the host forgets to run its main
// loop while its delegate loads the configuration: it must be told so in one WARN line within
// about 10 s, and the library must start once the loop runs. HOME (default: consumer-home in the
// working directory) holds the library's files; it is emptied first, and left in place because
// the library may still write its log until the process ends.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zarn/NotificationRequest.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/platform/Application.h"
#include "zarn/platform/Console.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/HttpClient.h"
#include "zarn/platform/LocalNotificationCenter.h"
#include "zarn/platform/LocationManager.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/RunLoop.h"
#include "zarn/platform/SystemInfo.h"

namespace {

using namespace zarn;
using namespace std::chrono_literals;

class HostDeviceInfo final : public platform::DeviceInfo {
  public:
    std::string systemVersion() override { return "16.4"; }
};

// Always in the foreground: this host has no background.
class HostApplication final : public platform::Application {
  public:
    platform::ApplicationState applicationState() override { return platform::ApplicationState::Active; }
    double backgroundTimeRemaining() override { return 1e9; }
};

class HostLocationAuthorization final : public platform::LocationAuthorization {
  public:
    bool locationServicesEnabled() override { return true; }
    platform::LocationAuthorizationStatus authorizationStatus() override {
        return platform::LocationAuthorizationStatus::AuthorizedAlways;
    }
    platform::LocationAccuracyAuthorization accuracyAuthorization() override {
        return platform::LocationAccuracyAuthorization::FullAccuracy;
    }
    bool significantLocationChangeMonitoringAvailable() override { return true; }
    bool regionMonitoringAvailable() override { return true; }
};

// A location manager that keeps its settings and the regions it is given and never has a fix.
class HostLocationManager final : public platform::LocationManager {
  public:
    void setDelegate(std::weak_ptr<platform::LocationManagerDelegate>) override {}
    void setDistanceFilter(double metres) override { distanceFilter_ = metres; }
    double distanceFilter() override { return distanceFilter_; }
    void setDesiredAccuracy(double metres) override { desiredAccuracy_ = metres; }
    double desiredAccuracy() override { return desiredAccuracy_; }
    void setPausesLocationUpdatesAutomatically(bool pauses) override { pauses_ = pauses; }
    bool pausesLocationUpdatesAutomatically() override { return pauses_; }
    void startUpdatingLocation() override {}
    void stopUpdatingLocation() override {}
    void startMonitoringSignificantLocationChanges() override {}
    void stopMonitoringSignificantLocationChanges() override {}
    bool respondsToAuthorizationRequests() override { return true; }
    void requestAlwaysAuthorization() override {}
    void requestWhenInUseAuthorization() override {}
    void startMonitoringForRegion(const platform::Region& region) override {
        stopMonitoringForRegion(region);
        regions_.push_back(region);
    }
    void stopMonitoringForRegion(const platform::Region& region) override {
        std::erase_if(regions_, [&](const platform::Region& r) { return r.identifier == region.identifier; });
    }
    std::vector<platform::Region> monitoredRegions() override { return regions_; }
    void requestStateForRegion(const platform::Region&) override {}
    double maximumRegionMonitoringDistance() override { return 1000.0; }
    void startRangingBeaconsInRegion(const platform::Region&) override {}
    void stopRangingBeaconsInRegion(const platform::Region&) override {}
    std::vector<platform::Region> rangedRegions() override { return {}; }

  private:
    double distanceFilter_ = 0;
    double desiredAccuracy_ = 0;
    bool pauses_ = true;
    std::vector<platform::Region> regions_;
};

class HostLocationManagerFactory final : public platform::LocationManagerFactory {
  public:
    std::shared_ptr<platform::LocationManager> createLocationManager() override {
        return std::make_shared<HostLocationManager>();
    }
    std::optional<bool> isRangingAvailable() override { return false; }
    bool regionsHaveNotifyOnExit() override { return true; }
};

// A centre whose user granted notifications. It answers later, on the main loop, and keeps
// nothing it is asked to show.
class HostNotificationCenter final : public platform::LocalNotificationCenter {
  public:
    void getNotificationSettings(
        std::function<void(platform::NotificationAuthorizationStatus)> completion) override {
        later([completion] { completion(platform::NotificationAuthorizationStatus::Authorized); });
    }
    void addNotificationRequest(NotificationRequest,
                                std::function<void(std::optional<Error>)> completion) override {
        if (completion)
            later([completion] { completion(std::nullopt); });
    }
    void getPendingNotificationRequests(
        std::function<void(std::vector<NotificationRequest>)> completion) override {
        later([completion] { completion({}); });
    }
    void removePendingNotificationRequests(const std::vector<std::string>&) override {}
    void requestAuthorization(unsigned, std::function<void(bool, std::optional<Error>)> completion) override {
        later([completion] { completion(true, std::nullopt); });
    }
    std::shared_ptr<platform::LocalNotificationCenterDelegate> delegate() override {
        std::lock_guard lk(mutex_);
        return delegate_.lock();
    }
    void setDelegate(std::weak_ptr<platform::LocalNotificationCenterDelegate> delegate) override {
        std::lock_guard lk(mutex_);
        delegate_ = std::move(delegate);
    }

  private:
    static void later(std::function<void()> task) { platform::RunLoop::main()->post(std::move(task)); }
    std::mutex mutex_;
    std::weak_ptr<platform::LocalNotificationCenterDelegate> delegate_;
};

// No network: every exchange ends, on the client's own thread, with "not connected".
class OfflineHttpClient final : public platform::HttpClient {
  public:
    OfflineHttpClient() : worker_([this] { work(); }) {}
    ~OfflineHttpClient() override { stop(); }

    void send(platform::HttpRequest, Completion completion) override {
        std::lock_guard lk(mutex_);
        if (!stopped_)
            pending_.push_back(std::move(completion));
        cv_.notify_all();
    }
    // Joins the worker; later exchanges are dropped uncalled.
    void stop() {
        {
            std::lock_guard lk(mutex_);
            stopped_ = true;
        }
        cv_.notify_all();
        if (worker_.joinable())
            worker_.join();
    }

  private:
    void work() {
        std::unique_lock lk(mutex_);
        for (;;) {
            cv_.wait(lk, [&] { return stopped_ || !pending_.empty(); });
            if (stopped_)
                return;
            auto completion = std::move(pending_.front());
            pending_.pop_front();
            lk.unlock();
            completion({Error{platform::kUrlErrorDomain, platform::kUrlErrorNotConnectedToInternet,
                              "The Internet connection appears to be offline."},
                        {}});
            lk.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Completion> pending_;
    bool stopped_ = false;
    std::thread worker_;
};

// Keeps the library's console lines; echoes them with ZARN_CONSUMER_VERBOSE set.
class LineConsole final : public platform::Console {
  public:
    void write(const std::string& line) override {
        std::lock_guard lk(mutex_);
        lines_.push_back(line);
        if (std::getenv("ZARN_CONSUMER_VERBOSE"))
            std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::vector<std::string> errors() { return matching("ERROR|"); }
    // The lines that hold `fragment`, in order.
    std::vector<std::string> matching(const std::string& fragment) {
        std::lock_guard lk(mutex_);
        std::vector<std::string> out;
        for (auto& line : lines_)
            if (line.find(fragment) != std::string::npos)
                out.push_back(line);
        return out;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The host's main thread: woken by the main loop's handler, it runs what is ready there.
class MainThread {
  public:
    MainThread() {
        platform::markMainThread();
        loop_ = platform::mainRunLoop();
        loop_->setWakeUpHandler([this] {
            std::lock_guard lk(mutex_);
            woken_ = true;
            cv_.notify_all();
        });
    }
    ~MainThread() { loop_->setWakeUpHandler(nullptr); }

    // Runs the main loop until `done` holds, for at most `limit`; the library's state is read
    // after each wake-up, or every 10 ms.
    template <typename F>
    bool runUntil(F done, std::chrono::milliseconds limit = 5000ms) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            while (loop_->runOnce(loop_->timeSource()->now())) {
            }
            if (done())
                return true;
            std::unique_lock lk(mutex_);
            if (!cv_.wait_until(lk, std::min(deadline, std::chrono::steady_clock::now() + 10ms),
                                [&] { return woken_; }) &&
                std::chrono::steady_clock::now() >= deadline)
                return false;
            woken_ = false;
        }
    }

  private:
    std::shared_ptr<platform::RunLoop> loop_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool woken_ = false;
};

int fail(const char* what) {
    std::fprintf(stderr, "consumer: FAILED: %s\n", what);
    return 1;
}

// The library refuses to start without `field` and stays as it is before initialisation.
int runWithout(const std::string& field, const std::vector<std::string>& missing, LineConsole& console,
               MainThread& main) {
    if (missing != std::vector<std::string>{field})
        return fail("install() does not name the missing service");
    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("consumer-token"));
    ZarnBase::performInitializationWithConfiguration(configuration);
    auto errors = console.errors();
    if (errors.size() != 1 ||
        errors[0].find("required platform services missing: " + field + ".") == std::string::npos)
        return fail("initialisation did not refuse with one ERROR line naming the service");
    ZarnBase::enable();
    main.runUntil([] { return false; }, 100ms);
    if (ZarnBase::isEnabled() || ZarnBase::loadedNotifications())
        return fail("the library is on without a required service");
    std::printf("consumer: without %s: %s\nconsumer: the process goes on, the library stays off\n",
                field.c_str(), errors[0].c_str());
    return 0;
}

int run(LineConsole& console, MainThread& main) {
    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("consumer-token"));
    configuration->setEnableOnFirstRun(false);
    ZarnBase::performInitializationWithConfiguration(configuration);
    ZarnBase::enable();
    if (!main.runUntil([] { return ZarnBase::isEnabled(); }))
        return fail("the library did not enable");
    // The centre is the only authorization installed: it tells what the user granted.
    auto logged = [&](const char* event) { return console.matching("Logging event: " + std::string(event)); };
    if (!main.runUntil([&] { return !logged("notification_state").empty() && !logged("heartbeat").empty(); }))
        return fail("no notification state or heartbeat was reported");
    if (logged("notification_state")[0].find("\"current\":\"enabled\"") == std::string::npos ||
        logged("heartbeat")[0].find("\"notification_optin\":\"yes\"") == std::string::npos)
        return fail("the notification permission the user granted is reported as not granted");
    ZarnBase::setStringSegmentationProperty("gold", "tier");
    auto loaded = ZarnBase::loadedNotifications();
    if (!loaded)
        return fail("no list of loaded notifications once enabled");
    ZarnBase::disable();
    if (!main.runUntil([] { return !ZarnBase::isEnabled(); }))
        return fail("the library did not disable");
    for (auto& line : console.errors())
        if (line.find("platform services") != std::string::npos)
            return fail(line.c_str());
    std::printf("consumer: zarn %s enabled and disabled, %zu notifications loaded\n",
                ZarnBase::version().c_str(), loaded->size());
    return 0;
}

}  // namespace

// The host forgets its main loop while its delegate loads the configuration: the library says
// so once, and starts when the loop runs at last.
int runWithoutMainLoop(LineConsole& console, MainThread& main) {
    auto delegate = std::make_shared<ZarnDelegate>();
    delegate->zarnLoadConfig = [](std::shared_ptr<ZarnConfiguration> configuration,
                                  std::function<void(std::shared_ptr<ZarnConfiguration>)> load) {
        load(configuration);
    };
    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("consumer-token"));
    configuration->setDelegate(delegate);
    ZarnBase::performInitializationWithConfiguration(configuration);
    const std::string warning = "WARN|Zarn| Work posted to the main thread has waited";
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (console.matching(warning).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    auto warnings = console.matching(warning);
    if (warnings.size() != 1 || warnings[0].find("RunLoop::main()") == std::string::npos)
        return fail("a main loop that never runs was not told in one WARN line naming it");
    if (ZarnBase::isEnabled())
        return fail("the configuration was applied without the main loop");
    if (!main.runUntil([] { return ZarnBase::isEnabled(); }))
        return fail("the library did not start once the main loop ran");
    if (console.matching(warning).size() != 1)
        return fail("the main loop was warned about more than once");
    std::printf("consumer: without a main loop: %s\nconsumer: the library starts once the loop runs\n",
                warnings[0].c_str());
    return 0;
}

int main(int argc, char** argv) {
    std::string without, home = "consumer-home";
    bool noMainLoop = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--without" && i + 1 < argc)
            without = argv[++i];
        else if (arg == "--no-main-loop")
            noMainLoop = true;
        else
            home = arg;
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    if (!std::filesystem::create_directories(home, ec))
        return fail("no home directory");
    home = std::filesystem::absolute(home).string();

    auto console = std::make_shared<LineConsole>();
    auto http = std::make_shared<OfflineHttpClient>();
    platform::Services services;
    services.console = console;
    services.fileSystem = std::make_shared<platform::PosixFileSystem>(home);
    services.httpClient = http;
    if (without != "deviceInfo")
        services.deviceInfo = std::make_shared<HostDeviceInfo>();
    if (without != "application")
        services.application = std::make_shared<HostApplication>();
    if (without != "locationAuthorization")
        services.locationAuthorization = std::make_shared<HostLocationAuthorization>();
    if (without != "locationManagerFactory")
        services.locationManagerFactory = std::make_shared<HostLocationManagerFactory>();
    services.localNotificationCenter = std::make_shared<HostNotificationCenter>();
    auto missing = platform::install(services);

    int status;
    {
        MainThread mainThread;
        if (!without.empty())
            status = runWithout(without, missing, *console, mainThread);
        else if (!missing.empty())
            status = fail("a required service is missing");
        else
            status = noMainLoop ? runWithoutMainLoop(*console, mainThread) : run(*console, mainThread);
    }
    // Nothing reaches the network after this.
    http->stop();
    return status;
}
