#include "zarn/platform/Platform.h"

#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

namespace zarn::platform {

namespace {

struct State {
    std::mutex mutex;
    Services services;
    std::shared_ptr<RunLoop> mainLoop;
    bool hasMainThread = false;
    std::thread::id mainThread;
};

State& state() {
    static State* s = new State;  // never destroyed: safe to use during exit
    return *s;
}

void fillDefaults(Services& s) {
    if (!s.timeSource)
        s.timeSource = std::make_shared<SystemTimeSource>();
    if (!s.console)
        s.console = std::make_shared<StdErrConsole>();
    if (!s.userDefaults)
        s.userDefaults = std::make_shared<MemoryUserDefaults>();
    if (!s.fileSystem) {
        const char* home = std::getenv("HOME");
        s.fileSystem = std::make_shared<PosixFileSystem>(home ? home : "/tmp");
    }
    if (!s.callStack)
        s.callStack = std::make_shared<BacktraceCallStack>();
    if (!s.notificationCenter)
        s.notificationCenter = std::make_shared<NotificationCenter>();
    if (!s.httpClient)
        s.httpClient = std::make_shared<CurlHttpClient>();
    if (s.serviceBaseAddress.empty())
        s.serviceBaseAddress = defaultServiceBaseAddress();
}

}  // namespace

std::vector<std::string> missingRequiredServices(const Services& services) {
    std::vector<std::string> missing;
    if (!services.deviceInfo)
        missing.emplace_back("deviceInfo");
    if (!services.application)
        missing.emplace_back("application");
    if (!services.locationAuthorization)
        missing.emplace_back("locationAuthorization");
    if (!services.locationManagerFactory)
        missing.emplace_back("locationManagerFactory");
    return missing;
}

std::vector<std::string> install(Services services) {
    fillDefaults(services);
    auto missing = missingRequiredServices(services);
    auto loop = RunLoop::create(services.timeSource, "main");
    std::shared_ptr<RunLoop> old;
    {
        std::lock_guard lk(state().mutex);
        state().services = std::move(services);
        old = std::exchange(state().mainLoop, loop);
    }
    if (old)
        old->stop();
    return missing;
}

void uninstall() {
    std::shared_ptr<RunLoop> old;
    Services dropped;
    {
        std::lock_guard lk(state().mutex);
        dropped = std::exchange(state().services, Services{});
        old = std::exchange(state().mainLoop, nullptr);
    }
    if (old) {
        old->stop();
        old->clear();
    }
}

Services current() {
    std::unique_lock lk(state().mutex);
    if (!state().services.timeSource) {
        Services s;
        fillDefaults(s);
        state().services = s;
    }
    return state().services;
}

std::shared_ptr<TimeSource> timeSource() {
    return current().timeSource;
}
std::shared_ptr<Console> console() {
    return current().console;
}
std::shared_ptr<NotificationCenter> defaultCenter() {
    return current().notificationCenter;
}

std::shared_ptr<RunLoop> mainRunLoop() {
    std::shared_ptr<TimeSource> ts;
    {
        std::lock_guard lk(state().mutex);
        if (state().mainLoop)
            return state().mainLoop;
    }
    ts = current().timeSource;
    auto loop = RunLoop::create(ts, "main");
    std::lock_guard lk(state().mutex);
    if (!state().mainLoop)
        state().mainLoop = loop;
    return state().mainLoop;
}

void markMainThread() {
    std::lock_guard lk(state().mutex);
    state().hasMainThread = true;
    state().mainThread = std::this_thread::get_id();
}

bool isMainThread() {
    std::lock_guard lk(state().mutex);
    return state().hasMainThread && state().mainThread == std::this_thread::get_id();
}

}  // namespace zarn::platform
