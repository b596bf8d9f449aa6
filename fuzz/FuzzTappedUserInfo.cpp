// libFuzzer target: a tapped notification whose userInfo holds anything a notification payload
// can (strings that need not be UTF-8, numbers of every kind, booleans, dates as numbers, data,
// nested arrays and dictionaries), handed to the library's notification-centre delegate on the
// simulated device. The library was started through its public entry once; each input may first
// be stored as a sent notification, then is tapped, and the run goes on until idle. The tap's
// completion is called exactly once, a landing page it opened is gone once closed, and the
// library keeps answering afterwards.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "entry/ZarnBaseTesting.h"
#include "entry/ZarnPModule.h"
#include "sim/Device.h"
#include "sim/SimLocalNotificationCenter.h"
#include "sim/SimView.h"
#include "sim/SimWindowSystem.h"
#include "sim/service/TestService.h"
#include "store/ZarnPSqLiteSentTriggerDao.h"
#include "testing/VirtualTimeSource.h"
#include "tests/support/ModuleGround.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/platform/Console.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/Platform.h"
#include "zarn/platform/UserDefaults.h"

namespace {

class SilentConsole final : public zarn::platform::Console {
  public:
    void write(const std::string&) override {}
};

// Takes the input apart into the parts of a tapped notification.
class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    template <typename T>
    T raw() {
        T out{};
        std::size_t n = std::min(sizeof(T), size_ - std::min(pos_, size_));
        std::memcpy(&out, data_ + pos_, n);
        pos_ += n;
        return out;
    }
    std::string bytes() {
        std::size_t n = std::min<std::size_t>(byte(), size_ - std::min(pos_, size_));
        std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }

    // The keys the library writes, so that most entries land where it reads; the rest are free.
    std::string key() {
        static constexpr const char* kKeys[] = {
            "identifier",
            "message",
            "trigger",
            "dwellingMinutes",
            "notificationHandlerType",
            "regionType",
            "matchRange",
            "zarnTriggerProperties",
            "identifierWithExperiment",
            "isAppInForeground",
            "beaconUuid",
            "action",
            "geofenceLatitude",
            "geofenceLongitude",
            "matchIdentifier",
            "matchPayload",
            "cooldownGroups",
            "id",
            "value",
            "type",
            "duration",
        };
        std::uint8_t b = byte();
        constexpr std::size_t kCount = sizeof kKeys / sizeof kKeys[0];
        return b < 4 * kCount ? std::string(kKeys[b % kCount]) : bytes();
    }

    zarn::Value value(int depth) {
        switch (byte() % (depth > 0 ? 11 : 9)) {
            case 0:
                return nullptr;
            case 1:
                return (byte() & 1) != 0;
            case 2:
                return raw<std::int64_t>();
            case 3:
                return raw<std::uint64_t>();
            case 4:
                return raw<double>();  // also a date, as seconds
            case 5:
                return static_cast<std::int64_t>(static_cast<std::int8_t>(byte()));
            case 6: {
                // A known handler type or region type, else free text.
                static constexpr const char* kWords[] = {"landingPage", "applink", "geotrigger", "regular",
                                                         "geofence",    "beacon",  "external",   "enter",
                                                         "exit",        "dwelling"};
                std::uint8_t b = byte();
                return b < 10 ? zarn::Value(kWords[b]) : zarn::Value(bytes());
            }
            case 7:
                return bytes();
            case 8: {
                std::string data = bytes();
                return zarn::Value::binary(std::vector<std::uint8_t>(data.begin(), data.end()));
            }
            case 9: {
                zarn::Value array = zarn::Value::array();
                for (int n = byte() % 6; n > 0 && !empty(); --n) array.push_back(value(depth - 1));
                return array;
            }
            default:
                return dictionary(depth - 1);
        }
    }

    zarn::Value dictionary(int depth) {
        zarn::Value out = zarn::Value::object();
        for (int n = byte() % 24; n > 0 && !empty(); --n) {
            std::string k = key();
            out[k] = value(depth);
        }
        return out;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct World {
    std::shared_ptr<zarn::platform::VirtualTimeSource> time;
    std::shared_ptr<zarn::sim::Device> device;
    std::shared_ptr<zarn::sim::TestService> service;
    std::shared_ptr<zarn::ZarnDelegate> delegate;
    std::shared_ptr<zarn::test::ModuleGround> ground;  // the module's SDK thread, file and clock
    std::shared_ptr<zarn::ZarnPModule> module;
    // The sent notifications table, through a store of the fuzzer's own (SDK thread).
    std::shared_ptr<zarn::ZarnPSqLiteSentTriggerDao> sent;
    int appCalls = 0;
    std::size_t buttonsSeen = 0;
};

World& world() {
    static World* w = [] {
        auto* w = new World;
        // In memory where the system has it: every tap commits to the database.
        char shm[] = "/dev/shm/zarn-fuzz-tap-XXXXXX";
        char tmp[] = "/tmp/zarn-fuzz-tap-XXXXXX";
        const char* home = mkdtemp(shm);
        if (!home)
            home = mkdtemp(tmp);
        if (!home)
            std::abort();
        static char homePath[64];
        std::snprintf(homePath, sizeof homePath, "%s", home);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(homePath, ec);
        });
        w->time = std::make_shared<zarn::platform::VirtualTimeSource>(
            zarn::dateWithTimeIntervalSince1970(1796126400.0), 0);
        w->device = std::make_shared<zarn::sim::Device>(w->time);
        w->service = std::make_shared<zarn::sim::TestService>();
        zarn::platform::Services services;
        services.timeSource = w->time;
        services.console = std::make_shared<SilentConsole>();
        services.userDefaults = std::make_shared<zarn::platform::MemoryUserDefaults>();
        services.fileSystem = std::make_shared<zarn::platform::PosixFileSystem>(home);
        services.httpClient = w->service;
        w->device->provide(services);
        zarn::platform::install(services);
        zarn::platform::markMainThread();

        zarn::testing::setModuleFactory([w](std::shared_ptr<zarn::ZarnPZarnConfiguration> configuration) {
            w->ground = std::make_shared<zarn::test::ModuleGround>();
            w->module = w->ground->build(std::move(configuration));
            return w->module;
        });
        w->delegate = std::make_shared<zarn::ZarnDelegate>();
        w->delegate->zarnNotificationOpenedEvent = [w](std::shared_ptr<zarn::ZarnSentNotification> sent) {
            if (!sent)
                std::abort();
            w->appCalls += static_cast<int>(sent->description().size() > 0);
        };
        auto c = zarn::ZarnConfiguration::create();
        c->setPublicToken(std::string("token-1"));
        c->setDelegate(w->delegate);
        zarn::ZarnBase::performInitializationWithConfiguration(c);
        w->time->advanceBy(5);
        if (!w->module || !w->device->localNotificationCenter()->delegate())
            std::abort();  // the library did not start
        return w;
    }();
    return *w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    World& w = world();
    Reader in(data, size);
    std::uint8_t flags = in.byte();

    zarn::NotificationResponse response;
    zarn::NotificationRequest& request = response.notification.request;
    request.identifier = in.bytes();
    request.content.body = in.bytes();
    request.content.userInfo = in.dictionary(3);
    // Most inputs are the library's own (the handler type present), whatever its value.
    if ((flags & 0x01) == 0 && !request.content.userInfo.contains("notificationHandlerType"))
        request.content.userInfo["notificationHandlerType"] = in.value(1);
    if (flags & 0x02)
        response.actionIdentifier = in.bytes();
    response.notification.date = w.time->now();

    // The app may take the opening itself, one way, the other or both.
    w.delegate->zarnHandleNotificationData = nullptr;
    w.delegate->zarnHandleNotificationResponse = nullptr;
    if (flags & 0x04)
        w.delegate->zarnHandleNotificationData = [&w](const zarn::NotificationRequest&, const std::string&) {
            ++w.appCalls;
        };
    if (flags & 0x08)
        w.delegate->zarnHandleNotificationResponse =
            [&w](const std::string&, const zarn::NotificationResponse&) { ++w.appCalls; };

    // Stored as sent first, as a shown notification of the library's is.
    if (flags & 0x10) {
        auto& ground = *w.ground;
        ground.onSdk([&] {
            if (!w.sent)
                w.sent = std::make_shared<zarn::ZarnPSqLiteSentTriggerDao>(ground.db);
            w.sent->saveSentTrigger(request, ground.clock->now());
        });
    }

    auto delegate = w.device->localNotificationCenter()->delegate();
    if (!delegate)
        std::abort();  // the library's delegate went away
    int completions = 0;
    delegate->didReceiveNotificationResponse(response, [&completions] { ++completions; });
    w.time->advanceBy((flags & 0x20) ? 3 : 0.5);
    if (completions != 1)
        std::abort();
    w.service->clearRequests();
    // The user closes every landing page the tap opened: nothing of a closed page stays alive.
    auto windows = w.device->windowSystem();
    auto buttons = windows->buttons();
    for (std::size_t i = w.buttonsSeen; i < buttons.size(); ++i)
        if (auto button = buttons[i].lock())
            button->tap();
    w.buttonsSeen = buttons.size();
    w.time->runUntilIdle();
    if (windows->liveWindowCount() != 0)
        std::abort();
    if (!zarn::ZarnBase::isEnabled())
        std::abort();  // the library stopped answering
    return 0;
}
