#include "sim/service/HttpsTestServer.h"

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

namespace zarn::sim {

namespace {

// The server library's stop() does nothing until its listen loop counts as running, so a stop
// that comes early would leave the loop to accept forever. Taking the listening socket away
// ends the loop wherever it is: before it starts, waiting in accept, or between the two.
class StoppableServer final : public httplib::SSLServer {
  public:
    using httplib::SSLServer::SSLServer;
    void endListening() {
        auto sock = svr_sock_.exchange(INVALID_SOCKET);
        if (sock == INVALID_SOCKET)
            return;
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
    }
};

}  // namespace

struct HttpsTestServer::Server {
    StoppableServer https;
    std::atomic<bool> listenerEnded{false};
    Server(const std::string& cert, const std::string& key) : https(cert.c_str(), key.c_str()) {}
};

HttpsTestServer::HttpsTestServer(std::shared_ptr<TestService> service, std::string directory)
    : service_(std::move(service)), directory_(std::move(directory)) {}

HttpsTestServer::~HttpsTestServer() {
    stop();
}

std::string HttpsTestServer::baseAddress() const {
    return "https://127.0.0.1:" + std::to_string(port_) + "/v2/client/";
}

bool HttpsTestServer::start() {
    auto certificate = TestCertificate::create(directory_);
    if (!certificate)
        return false;
    certificate_ = *certificate;
    server_ = std::make_unique<Server>(certificate_.certificateFile, certificate_.keyFile);
    if (!server_->https.is_valid())
        return false;
    // A resolver that knows no name: every query over DNS-over-HTTPS is answered "no such
    // domain", so a client pointed here finds no host without any lookup leaving the machine.
    server_->https.Post("/dns-query", [](const httplib::Request& req, httplib::Response& res) {
        std::string answer = req.body;
        if (answer.size() < 12) {
            res.status = 400;
            return;
        }
        answer[2] = static_cast<char>(0x81);         // a response to a recursive query
        answer[3] = static_cast<char>(0x83);         // recursion available, NXDOMAIN
        for (int i = 6; i < 12; ++i) answer[i] = 0;  // no answer, authority or additional records
        res.set_content(answer, "application/dns-message");
    });
    auto service = service_;
    server_->https.Post(R"(/.*)", [service](const httplib::Request& req, httplib::Response& res) {
        RecordedRequest recorded;
        recorded.method = req.method;
        recorded.path = req.path;
        for (const auto& [name, value] : req.headers) recorded.headers.emplace_back(name, value);
        recorded.body = req.body;  // the server library has inflated a gzip body
        TestAnswer answer;
        platform::HttpResponse response = service->handle(std::move(recorded), &answer);
        service->waitDelay(answer.delaySeconds);
        res.status = response.statusCode;
        if (answer.kind == TestAnswer::Kind::Drop) {
            // Headers go out, then the connection closes before the promised body.
            res.set_content_provider(1024, "application/octet-stream",
                                     [](size_t, size_t, httplib::DataSink&) { return false; });
            return;
        }
        std::string body(response.body.begin(), response.body.end());
        res.set_content(body, "application/octet-stream");
    });
    port_ = server_->https.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        server_.reset();
        return false;
    }
    Server* server = server_.get();
    thread_ = std::thread([server] {
        server->https.listen_after_bind();
        server->listenerEnded = true;
    });
    // Returns once the listen loop runs, or once it has ended without running.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server->https.is_running() && !server->listenerEnded &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    // A loop that never ran, or ran and ended already, is a failed start.
    if (server->listenerEnded || !server->https.is_running()) {
        stop();
        return false;
    }
    return true;
}

void HttpsTestServer::stop() {
    if (!server_)
        return;
    service_->releaseSlowAnswers();
    server_->https.endListening();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

}  // namespace zarn::sim
