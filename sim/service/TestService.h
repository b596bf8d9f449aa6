#pragma once
// The service as the library talks to it, for tests and the example host: answers
// "storeEventsAndLoadNotifications" with the data update it is handed and "storeEvents" with
// its status, records every request, and answers with any status, slowly, by dropping the
// connection, or with an empty or corrupt body when told to. It serves in process (it is a
// platform HTTP client, and requestCreator() hands the library a creator over it) and over
// loopback HTTPS (HttpsTestServer). Every method is safe from any thread.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "zarn/Value.h"
#include "zarn/platform/HttpClient.h"

namespace zarn {
class ZarnPHttpRequestCreator;
}

namespace zarn::sim {

// One request as the service received it.
struct RecordedRequest {
    std::string method;
    std::string path;      // "/v2/client/storeEvents"
    std::string endpoint;  // the last path word: "storeEvents"
    // In process: in the order sent. Over HTTPS: as the server library keeps them (by name).
    platform::HttpHeaders headers;
    std::string body;           // the inflated body text
    std::optional<Value> json;  // the body parsed, or nothing
    // How the service answered it (filled when it was handled).
    struct Answered {
        int status = 0;
        bool delivered = false;  // not dropped and, in process, not past the timeout
    } answered;

    std::optional<std::string> header(const std::string& name) const;
};

// How the next request is answered.
struct TestAnswer {
    enum class Kind {
        Normal,   // the data update, or an empty 200 for "storeEvents"
        Empty,    // the status with no body
        Corrupt,  // the status with bytes that are no data update
        Drop,     // the connection closes before the answer is complete
    };
    Kind kind = Kind::Normal;
    int status = 200;
    // Real seconds before answering; in process an answer slower than the request's timeout
    // is a timeout at once.
    double delaySeconds = 0;
    // Only a request for this endpoint ("storeEvents") takes the answer; others pass it by and
    // take the next one meant for them. Empty: any request.
    std::string endpoint{};
};

class TestService final : public platform::HttpClient, public std::enable_shared_from_this<TestService> {
  public:
    using DataUpdateSource = std::function<std::vector<std::uint8_t>(const RecordedRequest&)>;

    TestService();
    ~TestService() override;

    // The data update each "storeEventsAndLoadNotifications" gets: fixed bytes, or built per
    // request. Without one the answer is an empty 200.
    void setDataUpdate(std::vector<std::uint8_t> bytes);
    void setDataUpdateSource(DataUpdateSource source);
    // Answers for the next requests, in order; later ones get a normal 200.
    void queueAnswer(TestAnswer answer);
    // The answer used once the queue is empty.
    void setDefaultAnswer(TestAnswer answer);
    // Drops the queued answers.
    void clearAnswers();

    std::vector<RecordedRequest> requests();
    std::size_t requestCount();
    void clearRequests();

    // The in-process exchange: answered on the service's own thread.
    void send(platform::HttpRequest request, Completion completion) override;
    // A creator whose requests this service answers in process.
    std::shared_ptr<ZarnPHttpRequestCreator> requestCreator();

    // Records a request that arrived (over either path) and gives its answer. The response body
    // is empty for Drop; `answer` tells how to deliver it.
    platform::HttpResponse handle(RecordedRequest request, TestAnswer* answer, double timeoutSeconds = 1e9);

    // Wakes every slow answer now (a server shutting down).
    void releaseSlowAnswers();
    // Waits up to `seconds` of real time; false when released early.
    bool waitDelay(double seconds);

    // Bytes that no reader takes for a data update.
    static std::vector<std::uint8_t> corruptBody();
    // The payload the service pushes to carry a data update: {"zarn_v2": Base64 of its gzip}.
    static Value dataUpdatePayload(const std::vector<std::uint8_t>& dataUpdate);

  private:
    // The in-process requests waiting for an answer, shared with the thread that answers them:
    // when a completion on that thread drops the last reference to the service, the service
    // ends without joining its own thread, and the thread fails what is left as lost.
    struct Worker {
        std::mutex mutex;
        std::condition_variable cv;
        std::deque<std::pair<platform::HttpRequest, Completion>> work;
        TestService* service = nullptr;  // null once the service is gone
        bool stopping = false;
    };
    static void runWorker(std::shared_ptr<Worker> worker);
    platform::HttpResult answer(platform::HttpRequest request);

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<RecordedRequest> requests_;
    std::deque<TestAnswer> answers_;
    TestAnswer defaultAnswer_;
    DataUpdateSource dataUpdate_;
    bool released_ = false;
    std::shared_ptr<Worker> worker_;
    std::thread workerThread_;
};

}  // namespace zarn::sim
