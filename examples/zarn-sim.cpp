// The example host: installs the simulated device, initialises the library with a configuration
// and a delegate, and replays the example route (a walk, a tram ride and a walk back) on simulated
// time. The test service serves the example campaigns over loopback HTTPS; part way along it
// pushes a data update with one more campaign. A simulated user taps what is delivered and reads
// the landing page it opens. Everything is printed as one timeline against simulated seconds:
// fixes, location update runs, regions monitored, match runs, notifications scheduled and
// delivered, events stored and sent, the push, taps, pages and addresses opened.
//
// Usage: zarn-sim [ROUTE] [-v]; -v also writes every line the library logs to standard error.
// Exits 0 when the library delivered a notification, opened a landing page from a tap and took
// the pushed update; 1 otherwise (so CI notices a library that shows nothing).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/Device.h"
#include "sim/LocationWorld.h"
#include "sim/Route.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/HttpsTestServer.h"
#include "testing/VirtualTimeSource.h"
#include "zarn/Date.h"
#include "zarn/ZarnBase.h"
#include "zarn/ZarnConfiguration.h"
#include "zarn/ZarnDelegate.h"
#include "zarn/ZarnHooks.h"
#include "zarn/ZarnValues.h"
#include "zarn/platform/Console.h"
#include "zarn/platform/FileSystem.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/Platform.h"

#ifndef ZARN_EXAMPLES_DIR
#define ZARN_EXAMPLES_DIR "examples"
#endif

namespace {

using namespace zarn;

// A Monday, 11:00 local time (UTC+1): the bakery is open.
constexpr double kStart = 1796032800.0;
constexpr long kTimeZoneOffset = 3600;
// When the service pushes its update: on the tram, before the walk back reaches its campaign.
constexpr double kPushAt = 1300;
// How long the user takes to tap a delivered notification, and to read a landing page.
constexpr double kTapDelay = 20;
constexpr double kReadingTime = 30;

// At most `limit` bytes of `text`, never cutting a UTF-8 character in two.
std::string shortened(std::string text, size_t limit = 200) {
    if (text.size() <= limit)
        return text;
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
    return text.substr(0, limit) + "...";
}

// A text entry of a dictionary from the library or the service, or `fallback`.
std::string textAt(const Value& dictionary, const char* key, const std::string& fallback = "?") {
    if (!dictionary.is_object())
        return fallback;
    auto it = dictionary.find(key);
    return it != dictionary.end() && it->is_string() ? it->get<std::string>() : fallback;
}

// One timeline against simulated seconds. Lines come from the SDK thread (the console), the main
// thread (the delegate, the centre) and the loop that drives the world; each is printed at once
// and counted under its kind.
class Timeline {
  public:
    Timeline(std::shared_ptr<platform::VirtualTimeSource> time, double start)
        : time_(std::move(time)), start_(start) {}

    double elapsed() const { return timeIntervalSince1970(time_->now()) - start_; }

    void add(const std::string& kind, const std::string& text) {
        std::lock_guard lk(mutex_);
        ++counts_[kind];
        std::printf("%8.1f  %-10s %s\n", elapsed(), kind.c_str(), text.c_str());
        std::fflush(stdout);
    }
    int count(const std::string& kind) {
        std::lock_guard lk(mutex_);
        return counts_[kind];
    }

  private:
    const std::shared_ptr<platform::VirtualTimeSource> time_;
    const double start_;
    std::mutex mutex_;
    std::map<std::string, int> counts_;
};

// The library's console: picks the lines that mark a match run, an event stored or a fault and
// puts them on the timeline; with `verbose` every line also goes to standard error.
class TimelineConsole final : public platform::Console {
  public:
    TimelineConsole(std::shared_ptr<Timeline> timeline, bool verbose)
        : timeline_(std::move(timeline)), verbose_(verbose) {}

    void write(const std::string& line) override {
        if (verbose_)
            std::fprintf(stderr, "%8.1f %s\n", timeline_->elapsed(), line.c_str());
        struct Rule {
            const char* fragment;
            const char* kind;
            const char* label;
        };
        static constexpr Rule kRules[] = {
            {"Check for matches from: ", "match run", "geofence match run at "},
            {"Not checking for geofence matches, because of cooldown", "match run", "skipped: cooldown"},
            {"Offering notifications and geotriggers: ", "offer", ""},
            {"Logging event: ", "event", "stored "},
        };
        for (const auto& rule : kRules) {
            auto at = line.find(rule.fragment);
            if (at == std::string::npos)
                continue;
            timeline_->add(rule.kind, rule.label + shortened(line.substr(at + std::strlen(rule.fragment))));
            return;
        }
        if (line.rfind("ERROR|", 0) == 0)
            timeline_->add("error", line);
    }

  private:
    // Shared: the library's threads may still log while the host is ending.
    const std::shared_ptr<Timeline> timeline_;
    const bool verbose_;
};

// The campaigns come from the test service over loopback HTTPS: it answers every data-update
// request with the example campaigns, and the library reaches it through the platform's HTTPS
// client, trusting the service's own certificate. Null when the service cannot start.
struct CampaignService {
    std::shared_ptr<sim::TestService> service = std::make_shared<sim::TestService>();
    std::unique_ptr<sim::HttpsTestServer> server;

    static std::optional<sim::DataUpdateDescription> loadDescription(const std::string& path) {
        std::string error;
        auto description = sim::DataUpdateBuilder::loadFile(path, &error);
        if (!description)
            std::fprintf(stderr, "cannot load the campaigns %s: %s\n", path.c_str(), error.c_str());
        return description;
    }

    static std::unique_ptr<CampaignService> start(const std::string& campaignsPath, const std::string& home,
                                                  platform::Services& services) {
        auto description = loadDescription(campaignsPath);
        if (!description)
            return nullptr;
        auto running = std::make_unique<CampaignService>();
        running->service->setDataUpdate(sim::DataUpdateBuilder::build(*description));
        running->server = std::make_unique<sim::HttpsTestServer>(running->service, home);
        if (!running->server->start()) {
            std::fprintf(stderr, "cannot start the test service\n");
            return nullptr;
        }
        platform::CurlHttpClient::Options options;
        options.caFile = running->server->caFile();
        services.httpClient = std::make_shared<platform::CurlHttpClient>(options);
        services.serviceBaseAddress = running->server->baseAddress();
        return running;
    }
};

// The app's delegate: every event the library reports to the app goes on the timeline.
std::shared_ptr<ZarnDelegate> makeDelegate(const std::shared_ptr<Timeline>& timeline) {
    auto delegate = std::make_shared<ZarnDelegate>();
    delegate->zarnNotificationSentEvent = [timeline](std::shared_ptr<ZarnSentNotification> n) {
        timeline->add("sent", "the app hears a notification was sent: " + textAt(n->userInfo(), "message"));
    };
    delegate->zarnNotificationOpenedEvent = [timeline](std::shared_ptr<ZarnSentNotification> n) {
        timeline->add("opened",
                      "the app hears a notification was opened: " + textAt(n->userInfo(), "message"));
    };
    delegate->zarnHandleGeotriggers = [timeline](std::shared_ptr<ZarnHandleGeotriggers> hook) {
        for (const auto& g : hook->geotriggers())
            timeline->add("geotrigger", "the app handles \"" + textAt(g->userInfo(), "message") +
                                            "\" userInfo " + g->userInfo().dump());
        hook->markGeotriggersHandled(hook->geotriggers());
    };
    return delegate;
}

// Reads back, once per simulated second, what the library asked of the device and of the
// service since the last look, and puts it on the timeline. Main thread.
class DeviceWatch {
  public:
    DeviceWatch(Timeline& timeline, const sim::Device& device, sim::TestService& service)
        : timeline_(timeline), device_(device), service_(service) {}

    void poll() {
        pollLocation();
        pollRegions();
        pollNotifications();
        pollRequests();
        pollPush();
        auto opened = device_.urlOpener()->opened();
        for (; urls_ < opened.size(); ++urls_) timeline_.add("url", "the system opens " + opened[urls_]);
    }

    // Delivered notifications of the library (userInfo with a handler type), in order.
    const std::vector<Notification>& delivered() const { return delivered_; }

  private:
    void pollLocation() {
        auto location = device_.location();
        if (location->fixes()->isRunning() != updating_) {
            updating_ = !updating_;
            timeline_.add("fixes", updating_ ? "the library asks for fixes" : "standard updates off");
        }
        if (int n = location->significantChanges()->deliveries(); n != significant_) {
            significant_ = n;
            timeline_.add("location", "significant location change delivered");
        }
    }

    void pollRegions() {
        auto regions = device_.location()->regions();
        auto requests = regions->requests();
        for (; regionRequests_ < requests.size(); ++regionRequests_) {
            const auto& r = requests[regionRequests_];
            timeline_.add("region", (r[0] == '+' ? "monitors " : "stops monitoring ") + r.substr(1));
        }
        auto crossings = regions->crossings();
        for (; crossings_ < crossings.size(); ++crossings_) {
            const auto& c = crossings[crossings_];
            timeline_.add("region", (c.entered ? "the device enters " : "the device leaves ") + c.identifier);
        }
    }

    void pollNotifications() {
        auto centre = device_.localNotificationCenter();
        auto added = centre->addedRequests();
        for (; added_ < added.size(); ++added_) {
            const auto& r = added[added_];
            std::string when = r.trigger && r.trigger->timeInterval > 0
                                   ? "in " + std::to_string(static_cast<int>(r.trigger->timeInterval)) + " s"
                                   : std::string("now");
            scheduled_[r.identifier] = r.content.userInfo.dump();
            timeline_.add("scheduled", "\"" + r.content.body + "\" (" + when + ", id " + r.identifier +
                                           ") userInfo " + scheduled_[r.identifier]);
        }
        auto removes = centre->removeCalls();
        for (; removes_ < removes.size(); ++removes_)
            for (const auto& id : removes[removes_]) timeline_.add("removed", "pending request " + id);
        auto delivered = centre->deliveredNotifications();
        for (; deliveredSeen_ < delivered.size(); ++deliveredSeen_) {
            const auto& n = delivered[deliveredSeen_];
            // The userInfo in full unless it is the one printed when the request was scheduled.
            std::string userInfo = n.request.content.userInfo.dump();
            auto known = scheduled_.find(n.request.identifier);
            timeline_.add(
                "delivered",
                "\"" + n.request.content.body + "\" (id " + n.request.identifier + ") userInfo " +
                    (known != scheduled_.end() && known->second == userInfo ? std::string("as scheduled")
                                                                            : userInfo));
            if (n.request.content.userInfo.contains("notificationHandlerType"))
                delivered_.push_back(n);
        }
    }

    void pollRequests() {
        auto requests = service_.requests();
        for (; requests_ < requests.size(); ++requests_) {
            const auto& r = requests[requests_];
            // Event names in order, a run of one name as "name x3".
            std::vector<std::pair<std::string, int>> runs;
            if (r.json && r.json->is_object())
                if (auto list = r.json->find("events"); list != r.json->end() && list->is_array())
                    for (const auto& e : *list) {
                        std::string name = textAt(e, "eventType");
                        if (!runs.empty() && runs.back().first == name)
                            ++runs.back().second;
                        else
                            runs.emplace_back(name, 1);
                    }
            std::string events;
            for (const auto& [name, n] : runs)
                events += (events.empty() ? "" : ", ") + name + (n > 1 ? " x" + std::to_string(n) : "");
            timeline_.add("request", r.endpoint + " -> " + std::to_string(r.answered.status) +
                                         (events.empty() ? ", no events" : ", sent events: " + events));
        }
    }

    void pollPush() {
        auto push = device_.pushService();
        auto topics = push->topicLog();
        for (; topics_ < topics.size(); ++topics_)
            timeline_.add("push", (topics[topics_][0] == '+' ? "subscribed to " : "unsubscribed from ") +
                                      topics[topics_].substr(1));
        auto results = push->fetchResults();
        for (size_t i = 0; i < results.size(); ++i) {
            if (!results[i] || answered_.count(i))
                continue;
            answered_.insert(i);
            bool newData = *results[i] == BackgroundFetchResult::NewData;
            timeline_.add("push",
                          std::string("the pushed update was taken: ") + (newData ? "new data" : "no data"));
        }
    }

    Timeline& timeline_;
    const sim::Device& device_;
    sim::TestService& service_;
    bool updating_ = false;
    int significant_ = 0;
    size_t regionRequests_ = 0, crossings_ = 0, added_ = 0, removes_ = 0, deliveredSeen_ = 0;
    size_t requests_ = 0, topics_ = 0, urls_ = 0;
    std::set<size_t> answered_;
    std::map<std::string, std::string> scheduled_;
    std::vector<Notification> delivered_;
};

// The person holding the device: switches the app to the background half way, taps each
// notification of the library a little after it arrives (bringing the app to the foreground, as
// a tap does), lets a landing page load, reads it and closes it. Main thread.
class SimUser {
  public:
    SimUser(Timeline& timeline, const sim::Device& device)
        : timeline_(timeline),
          device_(device),
          scene_(device.windowSystem()->addScene(platform::SceneActivationState::ForegroundActive)) {}

    void toBackground() {
        device_.application()->enterBackgroundFromForeground();
        scene_->setActivationState(platform::SceneActivationState::Background);
        timeline_.add("app", "the app goes to the background");
    }
    void toForeground() {
        scene_->setActivationState(platform::SceneActivationState::ForegroundActive);
        device_.application()->enterForeground();
        timeline_.add("app", "the app comes to the foreground");
    }

    void act(const std::vector<Notification>& delivered, double now) {
        for (; seen_ < delivered.size(); ++seen_) taps_.push_back({now + kTapDelay, delivered[seen_]});
        while (!taps_.empty() && taps_.front().at <= now) {
            auto n = taps_.front().notification;
            taps_.erase(taps_.begin());
            tap(n);
        }
        readPages(now);
    }

    int landingPagesOpened() const { return landingPagesOpened_; }

  private:
    void tap(const Notification& n) {
        if (device_.application()->applicationState() != platform::ApplicationState::Active)
            toForeground();
        bool tapped = device_.localNotificationCenter()->tap(n.request.identifier);
        timeline_.add("tap", std::string(tapped ? "the user taps \"" : "nothing to tap for \"") +
                                 n.request.content.body + "\"");
    }

    // Plays each page load of the landing page's web view to its end and closes the page once
    // it has been read.
    void readPages(double now) {
        auto views = device_.windowSystem()->webViews();
        for (size_t i = 0; i < views.size(); ++i) {
            auto view = views[i].lock();
            if (!view)
                continue;
            auto& page = pages_[i];
            for (; page.loads < view->loads().size(); ++page.loads) {
                const auto& load = view->loads()[page.loads];
                if (load.html) {
                    timeline_.add("page", "the web view shows the loading page");
                } else {
                    timeline_.add("page", "the landing page loads " + load.content);
                    if (!page.landed)
                        ++landingPagesOpened_;
                    page.landed = true;
                    page.closeAt = now + kReadingTime;
                }
                view->completeLoad();
            }
            if (page.landed && !page.closed && now >= page.closeAt) {
                page.closed = true;
                for (auto& b : device_.windowSystem()->buttons())
                    if (auto button = b.lock())
                        button->tap();
                timeline_.add("page", "the user closes the landing page (" +
                                          std::to_string(device_.windowSystem()->liveWindowCount()) +
                                          " windows left)");
            }
        }
    }

    struct Tap {
        double at;
        Notification notification;
    };
    struct Page {
        size_t loads = 0;
        bool landed = false;
        bool closed = false;
        double closeAt = 0;
    };
    Timeline& timeline_;
    const sim::Device& device_;
    const std::shared_ptr<sim::SimScene> scene_;
    size_t seen_ = 0;
    std::vector<Tap> taps_;
    std::map<size_t, Page> pages_;
    int landingPagesOpened_ = 0;
};

// The app's side of the system's push callbacks: forwards them to the library, as an app does.
void connectPush(sim::SimPushService& push) {
    push.setAppHandlers(
        [](const std::string& token) { ZarnBase::didRegisterForRemoteNotificationsWithDeviceToken(token); },
        [](const Value& payload, sim::SimPushService::FetchCompletion completion) {
            ZarnBase::didReceiveRemoteNotification(payload, std::move(completion));
        });
    push.setSystemDeviceToken("sim-device-token");
    push.refreshRegistrationToken("sim-registration-token");
}

// A temporary home directory for the library's files, removed at the end.
struct SimHome {
    std::string path;
    SimHome() {
        char templ[] = "/tmp/zarn-sim-XXXXXX";
        if (const char* made = mkdtemp(templ))
            path = made;
    }
    ~SimHome() {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
};

// Puts the library's broadcasts on the timeline, a location update run with its fix.
void watchBroadcasts(platform::NotificationCenter& centre, const void* observer,
                     const std::shared_ptr<Timeline>& timeline) {
    centre.addObserver(observer, "", [timeline](const platform::Broadcast& b) {
        if (b.name.rfind("Zarn_", 0) != 0 || b.name == "Zarn_Location_Update_Completed_Private")
            return;
        if (b.name != "Zarn_Location_Update_Completed") {
            timeline->add("broadcast", b.name);
            return;
        }
        auto fix = b.get<std::shared_ptr<ZarnLocationWithAccuracy>>("current_location");
        timeline->add("location", fix && *fix
                                      ? "location update run ended with the fix " + (*fix)->description()
                                      : std::string("location update run ended without a fix"));
    });
}

// The walk, second by second: the app goes to the background half way, the service pushes its
// update at kPushAt, and after each second the watch and the user look at the device.
void walk(const sim::Route& route, platform::VirtualTimeSource& time, const sim::Device& device,
          const Value& pushPayload, Timeline& timeline, DeviceWatch& watch, SimUser& user) {
    device.location()->position()->follow(route);
    bool background = false;
    bool pushed = false;
    const double end = route.duration() + 120;
    while (timeline.elapsed() < end) {
        if (!background && timeline.elapsed() > route.duration() / 2) {
            background = true;
            user.toBackground();
        }
        if (!pushed && timeline.elapsed() >= kPushAt) {
            pushed = true;
            timeline.add("push", "the service pushes a data update with one more campaign");
            device.pushService()->deliver(pushPayload);
        }
        time.advanceBy(1.0);
        watch.poll();
        user.act(watch.delivered(), timeline.elapsed());
    }
}

// Prints what the run showed; true when it showed the three things the example is for.
bool summarize(Timeline& timeline, const sim::Device& device, const DeviceWatch& watch, const SimUser& user,
               const sim::DataUpdateDescription& pushed) {
    auto location = device.location();
    std::printf("-- summary --\n");
    std::printf("regions: %d lines, match runs: %d, scheduled: %d, events stored: %d, requests: %d\n",
                timeline.count("region"), timeline.count("match run"), timeline.count("scheduled"),
                timeline.count("event"), timeline.count("request"));
    std::printf("fix requests: %d, significant changes: %d, enabled: %s\n", location->fixes()->startCount(),
                location->significantChanges()->deliveries(), ZarnBase::isEnabled() ? "yes" : "no");
    // The pushed update arrived when the system heard of new data and a campaign it carried was
    // then shown on the way.
    auto results = device.pushService()->fetchResults();
    bool newData = !results.empty() && results.front() == BackgroundFetchResult::NewData;
    bool pushedShown = false;
    for (const auto& n : watch.delivered())
        for (const auto& c : pushed.campaigns)
            if (c.campaignId &&
                textAt(n.request.content.userInfo, "identifier", "").rfind(*c.campaignId + ";", 0) == 0)
                pushedShown = true;
    bool pushArrived = newData && pushedShown;
    int delivered = static_cast<int>(watch.delivered().size());
    int landingPages = user.landingPagesOpened();
    std::printf("delivered %d notifications, %d taps opened the landing page, the pushed update %s\n",
                delivered, landingPages, pushArrived ? "arrived" : "did not arrive");
    bool ok = delivered > 0 && landingPages > 0 && pushArrived;
    if (!ok)
        std::printf("zarn-sim: FAILED, the library did not show what the route should show\n");
    return ok;
}

struct Options {
    std::string route = ZARN_EXAMPLES_DIR "/route.txt";
    bool verbose = false;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-v") == 0)
            options.verbose = true;
        else
            options.route = argv[i];
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    Options options = parseOptions(argc, argv);
    std::string error;
    auto route = sim::Route::load(options.route, &error);
    if (!route || route->empty()) {
        std::fprintf(stderr, "cannot load the route %s: %s\n", options.route.c_str(), error.c_str());
        return 1;
    }
    auto pushed = CampaignService::loadDescription(ZARN_EXAMPLES_DIR "/pushed-update.json");
    SimHome home;
    if (home.path.empty() || !pushed) {
        std::fprintf(stderr, "cannot set up the simulated device\n");
        return 1;
    }

    auto time =
        std::make_shared<platform::VirtualTimeSource>(dateWithTimeIntervalSince1970(kStart), kTimeZoneOffset);
    auto timeline = std::make_shared<Timeline>(time, kStart);
    auto device = std::make_shared<sim::Device>(time);
    platform::Services services;
    services.timeSource = time;
    services.console = std::make_shared<TimelineConsole>(timeline, options.verbose);
    services.fileSystem = std::make_shared<platform::PosixFileSystem>(home.path);
    device->provide(services);
    auto campaigns = CampaignService::start(ZARN_EXAMPLES_DIR "/campaigns.json", home.path, services);
    if (!campaigns)
        return 1;
    platform::install(services);
    platform::markMainThread();
    connectPush(*device->pushService());
    device->location()->position()->set(route->waypoints().front().coordinate);

    std::printf("Zarn %s on a simulated device (system %s), home %s\n", ZarnBase::version().c_str(),
                device->deviceInfo()->systemVersion().c_str(), home.path.c_str());
    std::printf("test service on %s\n", services.serviceBaseAddress.c_str());
    std::printf("route %s: %zu waypoints, %.0f s\n", options.route.c_str(), route->waypoints().size(),
                route->duration());
    std::printf("%8s  %-10s %s\n", "seconds", "what", "");
    auto broadcasts = platform::defaultCenter();
    int observer = 0;
    watchBroadcasts(*broadcasts, &observer, timeline);

    auto configuration = ZarnConfiguration::create();
    configuration->setPublicToken(std::string("sim-public-token"));
    configuration->setDelegate(makeDelegate(timeline));
    ZarnBase::performInitializationWithConfiguration(configuration);
    ZarnBase::setStringSegmentationProperty("gold", "tier");
    time->advanceBy(1.0);

    DeviceWatch watch(*timeline, *device, *campaigns->service);
    SimUser user(*timeline, *device);
    walk(*route, *time, *device, sim::TestService::dataUpdatePayload(sim::DataUpdateBuilder::build(*pushed)),
         *timeline, watch, user);
    broadcasts->removeObserver(&observer);
    return summarize(*timeline, *device, watch, user, *pushed) ? 0 : 1;
}
