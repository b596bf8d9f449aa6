// The transport against the test service: over loopback HTTPS through libcurl (the wire), and
// in process through the request-creator seam.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>

#include "core/Format.h"
#include "core/ZarnPContext.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPEvent.h"
#include "core/ZarnPLocation.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/exchange/ZarnPHttpDao.h"
#include "device/exchange/ZarnPHttpRequestCreatorImpl.h"
#include "device/exchange/ZarnPStoreEventMarshaller.h"
#include "device/system/ZarnPSystemBackgroundTaskDao.h"
#include "schema/dataupdate_generated.h"
#include "sim/service/HttpsTestServer.h"
#include "sim/service/TestService.h"
#include "tests/support/ExchangeSupport.h"
#include "tests/support/TestEnvironment.h"

namespace zarn {
namespace {

namespace fb = com::zarnkit::velto::dataupdate::fb;

std::vector<std::uint8_t> fullUpdate() {
    flatbuffers::FlatBufferBuilder builder;
    builder.Finish(fb::CreateDataUpdateResponseDTO(builder, false, 0, 0, 0, 0, true));
    return {builder.GetBufferPointer(), builder.GetBufferPointer() + builder.GetSize()};
}

struct Completion {
    std::optional<Error> error;
    bool hadRoot = false;
    bool deleteAllOldData = false;
    std::shared_ptr<ZarnPContext> context;
    std::string url;
};

class Recorder final : public ZarnPRawHttpRequestDelegate, public ZarnPServiceResponseHttpRequestDelegate {
  public:
    void httpRequest(const std::shared_ptr<ZarnPRawHttpRequest>& request,
                     const fb::DataUpdateResponseDTO* root, const std::optional<Error>& error,
                     const std::shared_ptr<ZarnPContext>& context) override {
        calls.push_back({error, root != nullptr, root && root->deleteAllOldData(), context, request->url()});
        tags.push_back(request->requestTag());
    }
    void completedWithRequest(const std::shared_ptr<ZarnPServiceResponseHttpRequest>& request,
                              const std::optional<Error>& error,
                              const std::shared_ptr<ZarnPContext>& context) override {
        calls.push_back({error, false, false, context, request->url()});
        tags.push_back(request->requestTag());
    }
    std::vector<Completion> calls;
    std::vector<std::any> tags;
};

class HttpTransportTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(loopback.start()); }

    std::shared_ptr<ZarnPHttpDao> daoOver(std::shared_ptr<platform::HttpClient> over, std::string base) {
        return std::make_shared<ZarnPHttpDao>(tasks, test::verifyingReader,
                                              std::make_shared<ZarnPHttpRequestCreatorImpl>(std::move(over)),
                                              std::move(base));
    }

    // Makes the request on the SDK thread and waits (virtual time) until it has completed.
    bool post(ZarnPHttpDao& dao, const std::string& path, const Value& body, bool raw,
              std::shared_ptr<ZarnPContext> context = nullptr) {
        bool started = false;
        timer->invokeBlockOnRunLoop(
            [&] {
                started = raw ? dao.createRawRequestFor(path, "POST", "token-1", body, recorder,
                                                        std::string("tag"), context)
                              : dao.createRequestFor(path, "POST", "token-1", body, recorder,
                                                     std::string("tag"), context);
            },
            true);
        env.runUntilIdle();
        return started;
    }

    // One exchange straight through the seam, waited for on this thread.
    platform::HttpResult exchange(platform::HttpClient& through, const std::string& url,
                                  double timeout = 10) {
        platform::HttpRequest request;
        request.method = "POST";
        request.url = url;
        request.timeoutSeconds = timeout;
        std::promise<platform::HttpResult> done;
        through.send(request, [&](platform::HttpResult r) { done.set_value(std::move(r)); });
        return done.get_future().get();
    }

    test::TestEnvironment env;
    test::LoopbackService loopback{env.home};
    std::shared_ptr<ZarnPSystemTimerDao> timer =
        std::make_shared<ZarnPSystemTimerDao>(env.time, platform::mainRunLoop(), env.device->application());
    std::shared_ptr<ZarnPSystemBackgroundTaskDao> tasks = std::make_shared<ZarnPSystemBackgroundTaskDao>(
        timer, env.device->backgroundTasks(), env.device->application());
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

TEST_F(HttpTransportTest, StoreEventsGoesOutAsGzipJsonWithTheHeadersAndBasicAuthorisation) {
    auto dao = daoOver(loopback.client, loopback.server.baseAddress());
    Date now = dateWithTimeIntervalSince1970(test::TestEnvironment::kStart);
    // Text the service would choke on must not make this and every later upload fail.
    auto event = std::make_shared<ZarnPEvent>("E1", 10, dateByAddingTimeInterval(now, -1.5),
                                              Value{{"note", std::string("caf\xC3", 4)}});
    auto command = ZarnPStoreEvents::storeEventsWithDeviceId("DEV-1", {event}, {"version2response"}, "ad-1",
                                                             true, Value{{"age", "42"}}, now);
    auto context = std::make_shared<ZarnPContext>(2, std::nullopt, env.time->now());
    ASSERT_TRUE(post(*dao, "storeEvents", ZarnPStoreEventMarshaller::storeEventsToDictionary(command), false,
                     context));

    auto requests = loopback.service->requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/v2/client/storeEvents");
    EXPECT_EQ(r.header("Content-Type"), "application/json");
    EXPECT_EQ(r.header("X-Zarn-Version"), "3.0.0-beta-DEBUG");
    EXPECT_EQ(r.header("Content-Encoding"), "gzip");
    EXPECT_EQ(r.header("Authorization"),
              "Basic " + ZarnPDataHelper::base64EncodedStringSingleLine(":token-1"));
    EXPECT_EQ(r.header("Authorization"), "Basic OnRva2VuLTE=");
    ASSERT_TRUE(r.json);
    const Value& body = *r.json;
    EXPECT_EQ(body.size(), 5u) << body.dump();
    EXPECT_EQ(body["deviceId"], "DEV-1");
    EXPECT_EQ(body["advertisingId"], "ad-1");
    EXPECT_EQ(body["advertisingOptOut"], false);
    EXPECT_EQ(body["segmentationProperties"], (Value{{"age", "42"}}));
    EXPECT_FALSE(body.contains("capabilities"));
    ASSERT_EQ(body["events"].size(), 1u);
    const Value& e = body["events"][0];
    EXPECT_EQ(e["localId"], "E1");
    EXPECT_EQ(e["eventType"], "heartbeat");
    EXPECT_TRUE(e["secondsAgo"].is_number_integer());
    EXPECT_EQ(e["secondsAgo"], 2);
    EXPECT_EQ(e["extra"]["note"], "caf\xEF\xBF\xBD");
    // The body is compact JSON.
    EXPECT_EQ(r.body.find(' '), std::string::npos);

    ASSERT_EQ(recorder->calls.size(), 1u);
    EXPECT_FALSE(recorder->calls[0].error);
    EXPECT_EQ(recorder->calls[0].context, context);
    EXPECT_EQ(recorder->calls[0].url, loopback.server.baseAddress() + "storeEvents");
    EXPECT_EQ(std::any_cast<std::string>(recorder->tags[0]), "tag");
    // The request held a background task until it completed.
    EXPECT_EQ(env.device->backgroundTasks()->begunBackgroundTasks().size(), 1u);
    EXPECT_TRUE(env.device->backgroundTasks()->runningBackgroundTasks().empty());
}

TEST_F(HttpTransportTest, DataUpdateRequestCarriesEveryKeyAndItsAnswerReachesTheDelegate) {
    loopback.service->setDataUpdate(fullUpdate());
    auto dao = daoOver(loopback.client, loopback.server.baseAddress());
    Date now = dateWithTimeIntervalSince1970(test::TestEnvironment::kStart);
    auto event = std::make_shared<ZarnPEvent>("E2", 2, dateByAddingTimeInterval(now, -0.4), Value::object());
    std::vector<Value> tiles = {Value{{"id", "u33db"}, {"version", 1099511627776LL}},
                                Value{{"id", "u33dc"}, {"version", 7}}};
    auto command = ZarnPStoreEventsAndLoadNotifications::storeEventsWithDeviceId(
        "DEV-2", {event}, std::make_shared<ZarnPLocation>(52.52, 13.405), {"version2response", "beacon"},
        std::nullopt, false, Value(), 65.0, ZarnPUpdateConditions("WIFI", true, false, "geofence", 87, false),
        tiles, now);
    ASSERT_TRUE(post(*dao, "storeEventsAndLoadNotifications",
                     ZarnPStoreEventMarshaller::storeEventsAndLoadNotificationsToDictionary(command), true));

    auto requests = loopback.service->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/v2/client/storeEventsAndLoadNotifications");
    ASSERT_TRUE(requests[0].json);
    const Value& body = *requests[0].json;
    EXPECT_EQ(body.size(), 8u) << body.dump();
    EXPECT_EQ(body["deviceId"], "DEV-2");
    EXPECT_EQ(body["events"][0]["secondsAgo"], 0);
    EXPECT_EQ(body["events"][0]["eventType"], "location_acquired");
    EXPECT_EQ(body["location"], (Value{{"latitude", 52.52}, {"longitude", 13.405}}));
    EXPECT_EQ(body["capabilities"], (Value{"version2response", "beacon"}));
    EXPECT_EQ(body["accuracy"], 65.0);
    EXPECT_EQ(body["advertisingOptOut"], true);
    EXPECT_FALSE(body.contains("advertisingId"));
    EXPECT_FALSE(body.contains("segmentationProperties"));
    EXPECT_FALSE(body.contains("beaconNotificationVersion"));
    EXPECT_EQ(body["updateConditions"], (Value{{"unmeteredConnection", true},
                                               {"connectionType", "WIFI"},
                                               {"charging", false},
                                               {"trigger", "geofence"},
                                               {"batteryLevel", 87},
                                               {"roaming", false}}));
    ASSERT_EQ(body["loadedTiles"].size(), 2u);
    EXPECT_EQ(body["loadedTiles"][0]["id"], "u33db");
    EXPECT_TRUE(body["loadedTiles"][0]["version"].is_number_integer());
    EXPECT_EQ(body["loadedTiles"][0]["version"].get<std::int64_t>(), 1099511627776LL);

    ASSERT_EQ(recorder->calls.size(), 1u);
    EXPECT_FALSE(recorder->calls[0].error);
    EXPECT_TRUE(recorder->calls[0].hadRoot);
    EXPECT_TRUE(recorder->calls[0].deleteAllOldData);
}

TEST_F(HttpTransportTest, AnswersOtherThanADataUpdateCompleteWithTheRightErrorOrNone) {
    loopback.service->setDataUpdate(fullUpdate());
    auto dao = daoOver(loopback.client, loopback.server.baseAddress());
    struct Case {
        sim::TestAnswer answer;
        std::optional<std::string> domain;
        long code;
        bool root;
    };
    using K = sim::TestAnswer::Kind;
    const Case cases[] = {
        {{K::Normal, 200}, std::nullopt, 0, true},
        {{K::Normal, 299}, std::nullopt, 0, true},
        {{K::Empty, 204}, std::nullopt, 0, false},
        {{K::Corrupt, 200}, std::nullopt, 0, false},
        {{K::Empty, 500}, "zarn", -1, false},
        {{K::Normal, 500}, "zarn", -1, true},  // the body is read whatever the status
        {{K::Empty, 304}, "zarn", -1, false},
        {{K::Drop, 200}, platform::kUrlErrorDomain, platform::kUrlErrorNetworkConnectionLost, false},
    };
    for (const auto& c : cases) {
        loopback.service->queueAnswer(c.answer);
        recorder->calls.clear();
        ASSERT_TRUE(post(*dao, "storeEventsAndLoadNotifications", Value{{"deviceId", "D"}}, true));
        ASSERT_EQ(recorder->calls.size(), 1u) << c.answer.status;
        const auto& call = recorder->calls[0];
        EXPECT_EQ(call.hadRoot, c.root) << c.answer.status;
        if (!c.domain) {
            EXPECT_FALSE(call.error) << c.answer.status << " " << call.error->description();
            continue;
        }
        ASSERT_TRUE(call.error) << c.answer.status;
        EXPECT_EQ(call.error->domain, *c.domain);
        EXPECT_EQ(call.error->code, c.code);
        if (call.error->domain == "zarn") {
            std::string expected =
                format("Http request to [%@storeEventsAndLoadNotifications] failed with error code: %d",
                       loopback.server.baseAddress(), c.answer.status);
            EXPECT_EQ(call.error->message.rfind(expected, 0), 0u) << call.error->message;
        }
    }
    EXPECT_TRUE(env.device->backgroundTasks()->runningBackgroundTasks().empty());
}

TEST_F(HttpTransportTest, TransportFailuresCarryTheUrlLoadingCodes) {
    int port = test::refusedPort();
    // Refused port.
    auto refused =
        exchange(*loopback.client, "https://127.0.0.1:" + std::to_string(port) + "/v2/client/storeEvents");
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->domain, platform::kUrlErrorDomain);
    EXPECT_EQ(refused.error->code, platform::kUrlErrorCannotConnectToHost);

    // Unknown host: names are looked up through a resolver on loopback that is not there, so
    // nothing leaves the machine.
    platform::CurlHttpClient::Options options;
    options.caFile = loopback.server.caFile();
    options.dnsOverHttpsUrl = "https://127.0.0.1:" + std::to_string(port) + "/dns-query";
    platform::CurlHttpClient noResolver(options);
    auto unknown = exchange(noResolver, "https://service.zarn.invalid/v2/client/storeEvents");
    ASSERT_TRUE(unknown.error);
    EXPECT_EQ(unknown.error->code, platform::kUrlErrorCannotFindHost);

    // A slow answer past the request's timeout. The timeout also covers connecting, so under
    // load it may end the exchange before the server has read the request, or the server may
    // read it only after the client gave up: the slow answer is meant for its own endpoint, so
    // it can never be taken by, or left over for, the requests below.
    loopback.service->queueAnswer(
        {sim::TestAnswer::Kind::Normal, 200, 30.0, "storeEventsAndLoadNotifications"});
    auto slow =
        exchange(*loopback.client, loopback.server.baseAddress() + "storeEventsAndLoadNotifications", 0.3);
    ASSERT_TRUE(slow.error);
    EXPECT_EQ(slow.error->code, platform::kUrlErrorTimedOut);

    // The certificate is verified: a client that does not trust it gets no answer.
    platform::CurlHttpClient systemTrust;
    auto untrusted = exchange(systemTrust, loopback.server.baseAddress() + "storeEvents");
    ASSERT_TRUE(untrusted.error);
    EXPECT_GE(untrusted.error->code, platform::kUrlErrorClientCertificateRejected);
    EXPECT_LE(untrusted.error->code, platform::kUrlErrorSecureConnectionFailed);

    // Plain http is refused before anything is sent.
    auto plain = exchange(*loopback.client, "http://127.0.0.1:" + std::to_string(loopback.server.port()) +
                                                "/v2/client/storeEvents");
    ASSERT_TRUE(plain.error);
    EXPECT_EQ(plain.error->code, platform::kUrlErrorUnsupportedURL);

    // A status is an answer, not a transport error.
    loopback.service->queueAnswer({sim::TestAnswer::Kind::Empty, 503, 0, "storeEvents"});
    auto unavailable = exchange(*loopback.client, loopback.server.baseAddress() + "storeEvents");
    EXPECT_FALSE(unavailable.error);
    EXPECT_EQ(unavailable.response.statusCode, 503);
}

TEST_F(HttpTransportTest, InProcessTheWireFormKeepsItsHeaderOrderAndAStartCountsOnce) {
    auto dao = daoOver(loopback.service, "https://service.test/v2/client/");
    auto creator = loopback.service->requestCreator();
    std::shared_ptr<ZarnPServiceResponseHttpRequest> request;
    timer->invokeBlockOnRunLoop(
        [&] {
            request = creator->createServiceResponseRequestWithUrl(
                "https://service.test/v2/client/storeEvents", "POST", "", "", "{}", "application/json",
                recorder, tasks, nullptr);
            request->start();
            request->start();
        },
        true);
    env.runUntilIdle();
    ASSERT_TRUE(request);
    EXPECT_TRUE(env.consoleContains("Request already started"));
    auto requests = loopback.service->requests();
    ASSERT_EQ(requests.size(), 1u);
    std::vector<std::string> names;
    for (const auto& [name, value] : requests[0].headers) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Content-Type", "X-Zarn-Version", "Content-Encoding",
                                               "Authorization"}));
    // An empty token still authorises with ":" alone.
    EXPECT_EQ(requests[0].header("Authorization"), "Basic Og==");
    EXPECT_EQ(request->request().timeoutSeconds, 30.0);
    EXPECT_EQ(recorder->calls.size(), 1u);

    // In process a slow answer past the timeout and a dropped connection fail as on the wire.
    loopback.service->queueAnswer({sim::TestAnswer::Kind::Normal, 200, 31.0});
    loopback.service->queueAnswer({sim::TestAnswer::Kind::Drop, 200});
    recorder->calls.clear();
    ASSERT_TRUE(post(*dao, "storeEvents", Value::object(), false));
    ASSERT_TRUE(post(*dao, "storeEvents", Value::object(), false));
    ASSERT_EQ(recorder->calls.size(), 2u);
    EXPECT_EQ(recorder->calls[0].error->code, platform::kUrlErrorTimedOut);
    EXPECT_EQ(recorder->calls[1].error->code, platform::kUrlErrorNetworkConnectionLost);
}

TEST_F(HttpTransportTest, WithoutABodyNoRequestIsMadeAndTheCallerIsTold) {
    auto dao = daoOver(loopback.service, "https://service.test/v2/client/");
    EXPECT_FALSE(post(*dao, "storeEvents", Value(), false));
    EXPECT_FALSE(post(*dao, "storeEventsAndLoadNotifications", Value(), true));
    EXPECT_EQ(loopback.service->requestCount(), 0u);
    EXPECT_TRUE(recorder->calls.empty());
    EXPECT_TRUE(env.device->backgroundTasks()->begunBackgroundTasks().empty());
}

}  // namespace
}  // namespace zarn
