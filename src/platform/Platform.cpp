#include "zarn/platform/Platform.h"

#include <cstdlib>
#include <thread>
#include <utility>

#include "platform/Mutex.h"
#include "zarn/platform/Console.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/HttpClient.h"
#include "zarn/platform/LocalNotificationCenter.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/RunLoop.h"
#include "zarn/platform/SystemInfo.h"
#include "zarn/platform/TimeSource.h"
#include "zarn/platform/UserDefaults.h"

namespace zarn::platform {

namespace {

struct State {
    Mutex mutex;
    Services services ZARN_GUARDED_BY(mutex);
    std::shared_ptr<RunLoop> mainLoop ZARN_GUARDED_BY(mutex);
    bool hasMainThread ZARN_GUARDED_BY(mutex) = false;
    std::thread::id mainThread ZARN_GUARDED_BY(mutex);
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
    // A centre answers the settings query too; a host that installed only the centre has told
    // the library what the user granted.
    if (!s.notificationAuthorization)
        s.notificationAuthorization = s.localNotificationCenter;
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
        MutexLock lk(state().mutex);
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
        MutexLock lk(state().mutex);
        dropped = std::exchange(state().services, Services{});
        old = std::exchange(state().mainLoop, nullptr);
    }
    if (old) {
        old->stop();
        old->clear();
    }
}

Services current() {
    MutexLock lk(state().mutex);
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
        MutexLock lk(state().mutex);
        if (state().mainLoop)
            return state().mainLoop;
    }
    ts = current().timeSource;
    auto loop = RunLoop::create(ts, "main");
    MutexLock lk(state().mutex);
    if (!state().mainLoop)
        state().mainLoop = loop;
    return state().mainLoop;
}

void markMainThread() {
    MutexLock lk(state().mutex);
    state().hasMainThread = true;
    state().mainThread = std::this_thread::get_id();
}

bool isMainThread() {
    MutexLock lk(state().mutex);
    return state().hasMainThread && state().mainThread == std::this_thread::get_id();
}

}  // namespace zarn::platform
