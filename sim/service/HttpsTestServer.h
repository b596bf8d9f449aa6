#pragma once
#include <memory>
#include <string>
#include <thread>

#include "sim/service/TestCertificate.h"
#include "sim/service/TestService.h"

namespace zarn::sim {

// Serves a TestService over HTTPS on 127.0.0.1 (a free port), with a certificate made at start.
// A client must trust caFile() to reach it. Stopped and joined by stop() or the destructor.
class HttpsTestServer {
  public:
    // `directory`: where the certificate files go.
    HttpsTestServer(std::shared_ptr<TestService> service, std::string directory);
    ~HttpsTestServer();
    HttpsTestServer(const HttpsTestServer&) = delete;
    HttpsTestServer& operator=(const HttpsTestServer&) = delete;

    // Makes the certificate, binds and starts serving; false when any step fails.
    bool start();
    void stop();

    int port() const { return port_; }
    // "https://127.0.0.1:<port>/v2/client/"
    std::string baseAddress() const;
    // A DNS-over-HTTPS resolver that answers every name as unknown (not recorded as a request).
    std::string unknownNamesResolver() const {
        return "https://127.0.0.1:" + std::to_string(port_) + "/dns-query";
    }
    const std::string& caFile() const { return certificate_.certificateFile; }

  private:
    struct Server;
    std::shared_ptr<TestService> service_;
    std::string directory_;
    TestCertificate certificate_;
    std::unique_ptr<Server> server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace zarn::sim
