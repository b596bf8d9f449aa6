#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zarn/Error.h"

namespace zarn::platform {

// The host of the service's default base address: a reserved name that never resolves, so an
// app that installs no address of its own sends nothing anywhere.
inline constexpr std::string_view kDefaultServiceHost = "api.zarn.invalid";
// The path every base address of the service ends with.
inline constexpr std::string_view kServicePath = "/v2/client/";
// "https://" + kDefaultServiceHost + kServicePath.
std::string defaultServiceBaseAddress();

// Transport failures carry the domain and codes of the URL loading system, which the library
// classifies (connectivity failures are counted, the rest logged).
inline constexpr const char* kUrlErrorDomain = "NSURLErrorDomain";
inline constexpr long kUrlErrorUnknown = -1;
inline constexpr long kUrlErrorCancelled = -999;
inline constexpr long kUrlErrorBadURL = -1000;
inline constexpr long kUrlErrorTimedOut = -1001;
inline constexpr long kUrlErrorUnsupportedURL = -1002;
inline constexpr long kUrlErrorCannotFindHost = -1003;
inline constexpr long kUrlErrorCannotConnectToHost = -1004;
inline constexpr long kUrlErrorNetworkConnectionLost = -1005;
inline constexpr long kUrlErrorDNSLookupFailed = -1006;
inline constexpr long kUrlErrorHTTPTooManyRedirects = -1007;
inline constexpr long kUrlErrorNotConnectedToInternet = -1009;
inline constexpr long kUrlErrorBadServerResponse = -1011;
inline constexpr long kUrlErrorCannotDecodeContentData = -1016;
inline constexpr long kUrlErrorDataLengthExceedsMaximum = -1103;
inline constexpr long kUrlErrorSecureConnectionFailed = -1200;
inline constexpr long kUrlErrorServerCertificateHasBadDate = -1201;
inline constexpr long kUrlErrorServerCertificateUntrusted = -1202;
inline constexpr long kUrlErrorServerCertificateHasUnknownRoot = -1203;
inline constexpr long kUrlErrorServerCertificateNotYetValid = -1204;
inline constexpr long kUrlErrorClientCertificateRejected = -1205;

// Header fields in the order they are sent or were received.
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;  // "POST", "GET", ...
    std::string url;     // an absolute https address
    HttpHeaders headers;
    std::vector<std::uint8_t> body;
    double timeoutSeconds = 60.0;  // for the whole exchange, connection included
};

struct HttpResponse {
    int statusCode = 0;
    HttpHeaders headers;
    std::vector<std::uint8_t> body;
};

// One finished exchange: a response with any status, or the transport error (domain
// kUrlErrorDomain) that stopped it, in which case the response is empty.
struct HttpResult {
    std::optional<Error> error;
    HttpResponse response;
};

// Sends HTTPS requests. Copying is not allowed.
class HttpClient {
  public:
    using Completion = std::function<void(HttpResult)>;

    virtual ~HttpClient() = default;
    HttpClient() = default;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Starts the exchange and returns at once, without waiting on the network. Any thread.
    // `completion` is called exactly once, on a thread of the client's own and never on the
    // caller's stack, with the response or the transport error; it must return quickly (hand
    // the result on, never wait). Redirects are not followed: a 3xx is a response. A client
    // that is destroyed drops the completions of the exchanges still running, uncalled.
    virtual void send(HttpRequest request, Completion completion) = 0;
};

// HTTPS over libcurl: one worker thread runs every exchange through curl's multi interface, so
// any number of requests costs one thread. The peer's certificate and host name are always
// verified; only https addresses are accepted.
class CurlHttpClient final : public HttpClient {
  public:
    struct Options {
        // A PEM file of the certificate authorities to trust instead of the system's (a test
        // trusts its own certificate this way). Empty: the system's store.
        std::string caFile;
        // An https address of a resolver to look host names up with instead of the system's.
        // Empty: the system's resolver.
        std::string dnsOverHttpsUrl;
        // A longer response body ends the exchange with kUrlErrorDataLengthExceedsMaximum.
        std::size_t maxResponseBytes = 64u * 1024u * 1024u;
    };

    CurlHttpClient();
    explicit CurlHttpClient(Options options);
    // Stops and joins the worker; running exchanges are aborted and their completions dropped.
    ~CurlHttpClient() override;

    void send(HttpRequest request, Completion completion) override;

    struct Worker;

  private:
    std::unique_ptr<Worker> worker_;
};

}  // namespace zarn::platform
