// The data-update exchange on the wire: the library's own client over libcurl against the test
// service on loopback HTTPS. What each request carries byte for byte (address, method, headers in
// their order, the inflated body key by key), and how every kind of answer and transport failure
// completes the exchange.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "core/Format.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLocationWithAccuracy.h"
#include "core/ZarnPSystemClockDao.h"
#include "core/ZarnPSystemTimerDao.h"
#include "core/ZarnPUuidGenerator.h"
#include "device/exchange/ZarnPDataUpdateDao.h"
#include "device/exchange/ZarnPHttpDao.h"
#include "device/exchange/ZarnPHttpRequestCreatorImpl.h"
#include "device/exchange/ZarnPStoreEventsAndLoadNotificationsDelegate.h"
#include "device/exchange/ZarnPStoreEventsDelegate.h"
#include "device/system/ZarnPBatteryDao.h"
#include "device/system/ZarnPFenceDao.h"
#include "device/system/ZarnPNetworkDao.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "device/system/ZarnPSystemPublicLogDao.h"
#include "schema/dataupdate_generated.h"
#include "sim/SimBattery.h"
#include "sim/SimReachability.h"
#include "sim/service/DataUpdateBuilder.h"
#include "sim/service/HttpsTestServer.h"
#include "sim/service/TestService.h"
#include "store/ZarnPGeohashReadDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "store/dataupdate/ZarnPDataUpdateReader.h"
#include "store/settings/ZarnPDeviceIdDao.h"
#include "store/settings/ZarnPKeyValueDao.h"
#include "store/settings/ZarnPSettingKeys.h"
#include "store/settings/ZarnPSqLiteKeyValueDao.h"
#include "tests/support/ExchangeSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

namespace fb = com::zarnkit::velto::dataupdate::fb;
using Events = std::vector<std::shared_ptr<ZarnPEvent>>;

const fb::DataUpdateResponseDTO* reader(const std::vector<std::uint8_t>& bytes) {
    return ZarnPDataUpdateReader::read(std::span<const std::uint8_t>(bytes));
}

struct Completed {
    std::size_t events = 0;
    std::optional<Error> error;
};

class Delegates final : public ZarnPStoreEventsAndLoadNotificationsDelegate, public ZarnPStoreEventsDelegate {
  public:
    void loadNotificationsCompleted(const Events& events, const std::string&, bool,
                                    const std::shared_ptr<ZarnPContext>&,
                                    const std::optional<Error>& error) override {
        calls.push_back({events.size(), error});
    }
    void storeEventsCompleted(const Events& events, const std::optional<Error>& error,
                              std::shared_ptr<ZarnPContext>) override {
        calls.push_back({events.size(), error});
    }
    std::vector<Completed> calls;
};

// Takes one HTTPS request off a loopback socket and keeps its head exactly as it was sent; the
// server library of the test service keeps headers by name, not in their order.
class RawHttpsRecorder {
  public:
    ~RawHttpsRecorder() {
        if (listener_ >= 0)
            ::shutdown(listener_, SHUT_RDWR);  // wakes a pending accept
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            ::close(listener_);
        if (ctx_)
            SSL_CTX_free(ctx_);
    }

    bool start(const sim::TestCertificate& certificate) {
        ctx_ = SSL_CTX_new(TLS_server_method());
        if (!ctx_ || SSL_CTX_use_certificate_chain_file(ctx_, certificate.certificateFile.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx_, certificate.keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
            return false;
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener_, 1) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len))
            return false;
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serveOne(); });
        return true;
    }

    std::string baseAddress() const { return "https://127.0.0.1:" + std::to_string(port_) + "/v2/client/"; }

    // The request line and header lines, in order.
    std::vector<std::string> lines() {
        std::lock_guard lk(mutex_);
        return lines_;
    }

  private:
    void serveOne() {
        int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0)
            return;
        SSL* ssl = SSL_new(ctx_);
        SSL_set_fd(ssl, fd);
        std::string data;
        if (SSL_accept(ssl) == 1) {
            char buffer[4096];
            while (data.find("\r\n\r\n") == std::string::npos) {
                int n = SSL_read(ssl, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                data.append(buffer, static_cast<std::size_t>(n));
            }
            std::vector<std::string> lines;
            auto end = data.find("\r\n\r\n");
            for (std::size_t at = 0; end != std::string::npos && at < end;) {
                auto next = data.find("\r\n", at);
                lines.push_back(data.substr(at, next - at));
                at = next + 2;
            }
            {
                std::lock_guard lk(mutex_);
                lines_ = std::move(lines);
            }
            static constexpr char kReply[] =
                "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            SSL_write(ssl, kReply, sizeof kReply - 1);
            SSL_shutdown(ssl);
        }
        SSL_free(ssl);
        ::close(fd);
    }

    SSL_CTX* ctx_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

class ExchangeWireTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(loopback.start());
        auto options = loopback.options;
        options.dnsOverHttpsUrl = loopback.server.unknownNamesResolver();
        noNames = std::make_shared<platform::CurlHttpClient>(options);

        // The stores are first used on the SDK thread, where the exchange uses them.
        timer->invokeBlockOnRunLoop(
            [this] { stores.keyValues->setPropertyValue("token-1", setting::kPublicToken); }, true);
        env.device->battery()->setBattery(0.25, platform::BatteryState::Charging);
        env.device->reachability()->setReachabilityFlags(platform::kReachabilityFlagReachable |
                                                         platform::kReachabilityFlagIsWWAN);
    }

    std::shared_ptr<ZarnPDataUpdateDao> daoOver(std::shared_ptr<platform::HttpClient> through,
                                                const std::string& base) {
        return ZarnPDataUpdateDao::create(stores.collaborators(
            std::make_shared<ZarnPHttpDao>(
                tasks, reader, std::make_shared<ZarnPHttpRequestCreatorImpl>(std::move(through)), base),
            ZarnPHttpDao::hostOf(base), std::make_shared<test::IgnoringFences>(),
            [this](const fb::DataUpdateResponseDTO& root, const std::shared_ptr<ZarnPContext>&) {
                saved.push_back(root.deleteAllOldData());
                return ZarnPDataUpdateSaveOutcome{};
            }));
    }

    // Runs `call` on the SDK thread and waits (virtual time) until the exchange has completed.
    void onSdk(const std::function<void()>& call) {
        timer->invokeBlockOnRunLoop(call, true);
        env.runUntilIdle();
    }

    Date at(double secondsFromStart) {
        return dateWithTimeIntervalSince1970(test::TestEnvironment::kStart + secondsFromStart);
    }

    test::TestEnvironment env;
    test::LoopbackService loopback{env.home};
    std::shared_ptr<platform::CurlHttpClient> noNames;  // every host name is unknown
    std::shared_ptr<ZarnPSystemTimerDao> timer =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    std::shared_ptr<ZarnPSystemBackgroundTaskDao> tasks = std::make_shared<ZarnPSystemBackgroundTaskDao>(
        timer, env.device->backgroundTasks(), env.device->application());
    test::ExchangeStores stores{env.path("Documents/zarn.db"), platform::current().fileSystem, env.time,
                                *env.device};
    std::shared_ptr<Delegates> delegates = std::make_shared<Delegates>();
    std::vector<bool> saved;
};

TEST_F(ExchangeWireTest, BothRequestsCarryTheirAddressHeadersAndEveryBodyKey) {
    auto dao = daoOver(loopback.client, loopback.server.baseAddress());
    std::string deviceId;
    timer->invokeBlockOnRunLoop([&] { deviceId = stores.deviceIds->getDeviceId(); }, true);
    Events events = {
        std::make_shared<ZarnPEvent>("E1", 10, at(-1.5), Value{{"k", "v"}}),
        std::make_shared<ZarnPEvent>("E2", 2, at(-2.5), Value::object()),  // halves away from zero
        std::make_shared<ZarnPEvent>("E3", 13, at(10), Value{{"n", 1}}),   // dated ahead of the clock
    };
    const Value sentEvents = {
        {{"localId", "E1"}, {"eventType", "heartbeat"}, {"secondsAgo", 2}, {"extra", {{"k", "v"}}}},
        {{"localId", "E2"},
         {"eventType", "location_acquired"},
         {"secondsAgo", 3},
         {"extra", Value::object()}},
        {{"localId", "E3"}, {"eventType", "error"}, {"secondsAgo", -10}, {"extra", {{"n", 1}}}},
    };
    Value capabilities = Value::array();
    for (const auto& c : ZarnPDataUpdateDao::getDefaultCapabilities()) capabilities.push_back(c);
    Value allCapabilities = capabilities;
    for (const char* c : {"regionExit", "beacon", "beaconUuidFix"}) allCapabilities.push_back(c);
    auto located = std::make_shared<ZarnPLocationWithAccuracy>(52.5, 13.25, 65.0);
    auto geofenceRun = std::make_shared<ZarnPContext>(2, std::nullopt, env.time->now());
    auto unknownRun = std::make_shared<ZarnPContext>(99, std::nullopt, env.time->now());
    const Value conditions = {
        {"unmeteredConnection", false}, {"connectionType", "MOBILE"}, {"charging", true},
        {"trigger", "geofence"},        {"batteryLevel", 25},         {"roaming", false}};
    Value unknownConditions = conditions;
    unknownConditions["trigger"] = "undefined";

    struct Row {
        const char* name;
        std::function<void()> call;
        const char* endpoint;
        const char* authorization;  // "Basic " + Base64 of ":" and the token
        Value body;
    };
    const Row rows[] = {
        {"events only, with advertising and segmentation",
         [&] {
             dao->storeEvents(events, "token-1", "ad-9", false, Value{{"age", "42"}}, delegates);
         },
         "storeEvents",
         "Basic OnRva2VuLTE=",
         {{"deviceId", deviceId},
          {"events", sentEvents},
          {"advertisingId", "ad-9"},
          {"advertisingOptOut", true},
          {"segmentationProperties", {{"age", "42"}}}}},
        {"events only, bare, empty token",
         [&] { dao->storeEvents({}, "", std::nullopt, std::nullopt, Value(), delegates); },
         "storeEvents",
         "Basic Og==",
         {{"deviceId", deviceId}, {"events", Value::array()}}},
        {"events only, a token holding a NUL",
         [&] {
             dao->storeEvents({}, std::string("t\0k", 3), std::nullopt, std::nullopt, Value(), delegates);
         },
         "storeEvents",
         "Basic OnQAaw==",
         {{"deviceId", deviceId}, {"events", Value::array()}}},
        {"data update, located, every capability",
         [&] {
             dao->storeEventsAndLoadNotifications(events, located, true, true, "token-1", "ad-9", true,
                                                  Value{{"age", "42"}}, delegates, geofenceRun);
         },
         "storeEventsAndLoadNotifications",
         "Basic OnRva2VuLTE=",
         {{"deviceId", deviceId},
          {"events", sentEvents},
          {"location", {{"latitude", 52.5}, {"longitude", 13.25}}},
          {"capabilities", allCapabilities},
          {"accuracy", 65.0},
          {"updateConditions", conditions},
          {"advertisingId", "ad-9"},
          {"advertisingOptOut", false},
          {"segmentationProperties", {{"age", "42"}}},
          {"loadedTiles", Value::array()}}},
        {"data update, no location, default capabilities",
         [&] {
             dao->storeEventsAndLoadNotifications({}, nullptr, false, false, "t:2", std::nullopt,
                                                  std::nullopt, Value(), delegates, unknownRun);
         },
         "storeEventsAndLoadNotifications",
         "Basic OnQ6Mg==",
         {{"deviceId", deviceId},
          {"events", Value::array()},
          {"location", {{"latitude", 0.0}, {"longitude", 0.0}}},
          {"capabilities", capabilities},
          {"accuracy", 0.0},
          {"updateConditions", unknownConditions},
          {"loadedTiles", Value::array()}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        loopback.service->clearRequests();
        delegates->calls.clear();
        onSdk(row.call);
        ASSERT_EQ(delegates->calls.size(), 1u);
        EXPECT_FALSE(delegates->calls[0].error);
        auto requests = loopback.service->requests();
        ASSERT_EQ(requests.size(), 1u);
        const auto& r = requests[0];
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.path, std::string("/v2/client/") + row.endpoint);
        EXPECT_EQ(r.header("Content-Type"), "application/json");
        EXPECT_EQ(r.header("X-Zarn-Version"), "3.0.0-beta-DEBUG");
        EXPECT_EQ(r.header("Content-Encoding"), "gzip");
        EXPECT_EQ(r.header("Authorization"), row.authorization);
        ASSERT_TRUE(r.json) << r.body;
        const Value& body = *r.json;
        for (const auto& [key, value] : row.body.items()) {
            ASSERT_TRUE(body.contains(key)) << key;
            EXPECT_EQ(body.at(key), value) << key;
        }
        for (const auto& item : body.items())
            EXPECT_TRUE(row.body.contains(item.key())) << "unexpected " << item.key();
        // Numbers keep their kinds: whole seconds, a whole battery level, doubles for places.
        for (const auto& e : body.at("events")) EXPECT_TRUE(e.at("secondsAgo").is_number_integer());
        if (body.contains("updateConditions")) {
            EXPECT_TRUE(body.at("updateConditions").at("batteryLevel").is_number_integer());
            EXPECT_TRUE(body.at("location").at("latitude").is_number_float());
            EXPECT_TRUE(body.at("accuracy").is_number_float());
        }
        EXPECT_EQ(r.body.find(' '), std::string::npos) << "compact text";
    }
}

TEST_F(ExchangeWireTest, OnTheWireTheHeadersGoInTheirOrderOnce) {
    std::filesystem::create_directories(env.home + "/raw");
    auto certificate = sim::TestCertificate::create(env.home + "/raw");
    ASSERT_TRUE(certificate);
    for (bool load : {false, true}) {
        SCOPED_TRACE(load ? "data update" : "events only");
        RawHttpsRecorder raw;
        ASSERT_TRUE(raw.start(*certificate));
        platform::CurlHttpClient::Options options;
        options.caFile = certificate->certificateFile;
        auto dao = daoOver(std::make_shared<platform::CurlHttpClient>(options), raw.baseAddress());
        delegates->calls.clear();
        onSdk([&] {
            if (load)
                dao->storeEventsAndLoadNotifications({}, nullptr, false, false, "token-1", std::nullopt,
                                                     std::nullopt, Value(), delegates, nullptr);
            else
                dao->storeEvents({}, "token-1", std::nullopt, std::nullopt, Value(), delegates);
        });
        ASSERT_EQ(delegates->calls.size(), 1u);
        auto lines = raw.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], std::string("POST /v2/client/") +
                                (load ? "storeEventsAndLoadNotifications" : "storeEvents") + " HTTP/1.1");
        std::vector<std::string> ours;
        for (const auto& line : lines)
            for (const char* name :
                 {"Content-Type:", "X-Zarn-Version:", "Content-Encoding:", "Authorization:"})
                if (line.rfind(name, 0) == 0)
                    ours.push_back(line);
        EXPECT_EQ(ours, (std::vector<std::string>{
                            "Content-Type: application/json", "X-Zarn-Version: 3.0.0-beta-DEBUG",
                            "Content-Encoding: gzip", "Authorization: Basic OnRva2VuLTE="}));
    }
}

TEST_F(ExchangeWireTest, EachAnswerAndTransportFailureCompletesBothExchangesOnce) {
    loopback.service->setDataUpdate(sim::DataUpdateBuilder::build({.deleteAllOldData = true}));
    const std::string refused = "https://127.0.0.1:" + std::to_string(test::refusedPort()) + "/v2/client/";
    using K = sim::TestAnswer::Kind;
    struct Row {
        const char* name;
        std::optional<sim::TestAnswer> answer;
        bool unknownNames;
        bool refusedPort;
        std::optional<std::pair<std::string, long>> error;
        bool saved;
        bool ignoredAsEmpty;
    };
    const Row rows[] = {
        {"a full update", sim::TestAnswer{}, false, false, std::nullopt, true, false},
        {"a 204 without a body", sim::TestAnswer{K::Empty, 204}, false, false, std::nullopt, false, true},
        {"a corrupt body", sim::TestAnswer{K::Corrupt, 200}, false, false, std::nullopt, false, true},
        {"a 500", sim::TestAnswer{K::Empty, 500}, false, false, std::pair<std::string, long>{"zarn", -1},
         false, false},
        // The body is read whatever the status, but never saved.
        {"a 500 with an update", sim::TestAnswer{K::Normal, 500}, false, false,
         std::pair<std::string, long>{"zarn", -1}, false, false},
        {"a dropped connection", sim::TestAnswer{K::Drop, 200}, false, false,
         std::pair<std::string, long>{platform::kUrlErrorDomain, -1005}, false, false},
        {"a refused port", std::nullopt, false, true,
         std::pair<std::string, long>{platform::kUrlErrorDomain, -1004}, false, false},
        {"an unknown host", std::nullopt, true, false,
         std::pair<std::string, long>{platform::kUrlErrorDomain, -1003}, false, false},
    };
    Events events = {std::make_shared<ZarnPEvent>("E1", 10, at(0), Value::object()),
                     std::make_shared<ZarnPEvent>("E2", 10, at(0), Value::object())};
    for (const auto& row : rows) {
        for (bool load : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (load ? " (data update)" : " (events only)"));
            std::string base = row.refusedPort    ? refused
                               : row.unknownNames ? std::string("https://service.zarn.invalid/v2/client/")
                                                  : loopback.server.baseAddress();
            auto dao = daoOver(row.unknownNames ? noNames : loopback.client, base);
            loopback.service->clearAnswers();
            loopback.service->clearRequests();
            if (row.answer)
                loopback.service->queueAnswer(*row.answer);
            delegates->calls.clear();
            saved.clear();
            int emptyBefore = env.consoleCount("Ignoring empty response");
            onSdk([&] {
                if (load)
                    dao->storeEventsAndLoadNotifications(events, nullptr, false, false, "token-1",
                                                         std::nullopt, std::nullopt, Value(), delegates,
                                                         nullptr);
                else
                    dao->storeEvents(events, "token-1", std::nullopt, std::nullopt, Value(), delegates);
            });
            ASSERT_EQ(delegates->calls.size(), 1u);
            const auto& call = delegates->calls[0];
            EXPECT_EQ(call.events, 2u);  // handed back to be deleted or kept
            EXPECT_EQ(loopback.service->requestCount(), row.answer ? 1u : 0u);
            if (row.error) {
                ASSERT_TRUE(call.error);
                EXPECT_EQ(call.error->domain, row.error->first);
                EXPECT_EQ(call.error->code, row.error->second) << call.error->message;
                if (row.error->first == "zarn") {
                    std::string expected = format("Http request to [%@%@] failed with error code: 500", base,
                                                  load ? "storeEventsAndLoadNotifications" : "storeEvents");
                    EXPECT_EQ(call.error->message.rfind(expected, 0), 0u) << call.error->message;
                }
            } else {
                EXPECT_FALSE(call.error) << call.error->description();
            }
            EXPECT_EQ(saved, load && row.saved ? std::vector<bool>{true} : std::vector<bool>{});
            EXPECT_EQ(env.consoleCount("Ignoring empty response") > emptyBefore, load && row.ignoredAsEmpty);
        }
    }
    EXPECT_TRUE(env.device->backgroundTasks()->runningBackgroundTasks().empty());

    // The exchange's own 30 s would be real time here: the same transport with a short timeout.
    loopback.service->queueAnswer({K::Normal, 200, 30.0, "storeEvents"});
    platform::HttpRequest request{"POST", loopback.server.baseAddress() + "storeEvents", {}, {}, 0.4};
    std::promise<platform::HttpResult> done;
    loopback.client->send(request, [&](platform::HttpResult r) { done.set_value(std::move(r)); });
    auto slow = done.get_future().get();
    ASSERT_TRUE(slow.error);
    EXPECT_EQ(slow.error->domain, platform::kUrlErrorDomain);
    EXPECT_EQ(slow.error->code, platform::kUrlErrorTimedOut);
}

}  // namespace
}  // namespace zarn
