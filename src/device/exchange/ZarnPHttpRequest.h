#pragma once
#include <any>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ZarnPSequenceChecker.h"
#include "zarn/Error.h"
#include "zarn/platform/HttpClient.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPBackgroundTaskDao;
class ZarnPContext;

// One POST to the service: built with its gzip body and headers, started once on a run loop,
// completed exactly once on that loop (the SDK thread) with the response or a transport error.
// It holds a background task from start to completion and keeps itself alive while it runs.
// The platform's client does the network work on its own thread and never sees this object's
// state; only the finished result crosses back, as a task on the starting loop.
class ZarnPHttpRequest : public std::enable_shared_from_this<ZarnPHttpRequest> {
  public:
    static constexpr double kTimeoutSeconds = 30.0;
    static constexpr const char* kVersion = "3.0.0-beta-DEBUG";
    static constexpr const char* kStatusErrorDomain = "zarn";
    static constexpr long kStatusErrorCode = -1;

    virtual ~ZarnPHttpRequest();
    ZarnPHttpRequest(const ZarnPHttpRequest&) = delete;
    ZarnPHttpRequest& operator=(const ZarnPHttpRequest&) = delete;

    // Starts the exchange on the calling thread's run loop. A second start logs "Request already
    // started" and does nothing; a thread without a run loop cannot start one (logged).
    void start();
    // Forgets the exchange: its result, when it comes, is dropped with no delegate call.
    void cancel();

    // None for a status from 200 to 299; else domain "zarn", code -1, "Http request to [%@]
    // failed with error code: %ld %@" (0 when no response came).
    std::optional<Error> getErrorForStatusCode() const;
    // The value of a header, names compared without regard to case; the last match wins.
    static std::optional<std::string> getHeaderValueFor(const std::string& name,
                                                        const platform::HttpHeaders& headers);
    // The platform's text for a status ("not found", "internal server error").
    static std::string localizedStringForStatusCode(int statusCode);

    const std::string& url() const { return url_; }
    const std::any& requestTag() const { return requestTag_; }
    void setRequestTag(std::any tag) { requestTag_ = std::move(tag); }
    const std::shared_ptr<ZarnPContext>& zarnContext() const { return zarnContext_; }
    void setZarnContext(std::shared_ptr<ZarnPContext> context) { zarnContext_ = std::move(context); }

    // The wire form: method, address, headers in their order, the compressed body, the timeout.
    const platform::HttpRequest& request() const { return request_; }
    // The last response received (status 0 and no headers before one came).
    const platform::HttpResponse& response() const { return response_; }
    const std::optional<std::vector<std::uint8_t>>& responseData() const { return responseData_; }
    bool isStarted() const { return started_; }

  protected:
    // `request` is the finished wire form (buildRequest).
    ZarnPHttpRequest(std::shared_ptr<platform::HttpClient> client, std::string url,
                     platform::HttpRequest request, std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                     std::shared_ptr<ZarnPContext> zarnContext);

    // The wire form of a request, or nothing when the body cannot be compressed (logged).
    static std::optional<platform::HttpRequest> buildRequest(
        const std::string& url, const std::string& method, const std::string& userName,
        const std::string& password, const std::string& body, const std::string& type);

    virtual void connectionDidFailWithError(const Error& error) = 0;
    virtual void connectionDidFinishLoading() = 0;
    // Releases the response data, the background task and its DAO; the kinds also their delegate.
    virtual void cleanUp();

    ZarnPSequenceChecker sequence_;

  private:
    void complete(platform::HttpResult result);

    std::shared_ptr<platform::HttpClient> client_;
    const std::string url_;
    platform::HttpRequest request_;
    std::shared_ptr<ZarnPContext> zarnContext_;
    std::any requestTag_;
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao_;
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask_;
    platform::HttpResponse response_;
    std::optional<std::vector<std::uint8_t>> responseData_;
    bool started_ = false;
    bool cancelled_ = false;
};

}  // namespace zarn
