#include "device/exchange/ZarnPHttpRequest.h"

#include <algorithm>
#include <cctype>

#include "core/ZarnException.h"
#include "core/ZarnPDataHelper.h"
#include "core/ZarnPGzipHelper.h"
#include "core/ZarnPLogger.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPBackgroundTaskDao.h"
#include "zarn/platform/RunLoop.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "HttpRequest";

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

ZarnPHttpRequest::ZarnPHttpRequest(std::shared_ptr<platform::HttpClient> client, std::string url,
                                   platform::HttpRequest request,
                                   std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                                   std::shared_ptr<ZarnPContext> zarnContext)
    : client_(std::move(client)),
      url_(std::move(url)),
      request_(std::move(request)),
      zarnContext_(std::move(zarnContext)),
      backgroundTaskDao_(std::move(backgroundTaskDao)) {
    ZARN_REQUIRE(client_);
    ZARN_REQUIRE(backgroundTaskDao_);
}

ZarnPHttpRequest::~ZarnPHttpRequest() = default;

std::optional<platform::HttpRequest> ZarnPHttpRequest::buildRequest(
    const std::string& url, const std::string& method, const std::string& userName,
    const std::string& password, const std::string& body, const std::string& type) {
    auto compressed = ZarnPGzipHelper::gzipDeflate(body);
    if (!compressed) {
        LogError(kDomain, "Failed to compress the request body for %@", url);
        return std::nullopt;
    }
    platform::HttpRequest request;
    request.url = url;
    request.method = method;
    request.body = std::move(*compressed);
    request.headers.emplace_back("Content-Type", type);
    request.headers.emplace_back("X-Zarn-Version", kVersion);
    request.headers.emplace_back("Content-Encoding", "gzip");
    request.timeoutSeconds = kTimeoutSeconds;
    LogDebug(kDomain, "Data length: %d bytes compressed to %d bytes", static_cast<int>(body.size()),
             static_cast<int>(request.body.size()));
    std::string credentials = format("%@:%@", userName, password);
    request.headers.emplace_back("Authorization",
                                 "Basic " + ZarnPDataHelper::base64EncodedStringSingleLine(credentials));
    return request;
}

void ZarnPHttpRequest::start() {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (started_ || responseData_) {
        LogError(kDomain, "Request already started");
        return;
    }
    platform::RunLoop* current = platform::RunLoop::current();
    if (!current) {
        LogError(kDomain, "Request not started: the calling thread runs no run loop");
        return;
    }
    std::shared_ptr<platform::RunLoop> loop = current->shared_from_this();
    started_ = true;
    backgroundTask_ = backgroundTaskDao_->startBackgroundTask();
    LogDebug(kDomain, "Performing HttpRequest: %@ %@", request_.method, url_);
    responseData_.emplace();
    // The exchange counts as outside work until its result is queued on the loop, so that
    // virtual time waits for it.
    auto work = std::make_shared<platform::OutsideWork>(loop->timeSource());
    auto self = shared_from_this();
    client_->send(request_, [self, loop, work](platform::HttpResult result) mutable {
        loop->post([self, result = std::move(result)]() mutable { self->complete(std::move(result)); });
        work.reset();
    });
}

void ZarnPHttpRequest::cancel() {
    ZARN_CHECK_SEQUENCE(sequence_);
    cancelled_ = true;
    responseData_.reset();
}

void ZarnPHttpRequest::complete(platform::HttpResult result) {
    ZARN_CHECK_SEQUENCE(sequence_);
    if (cancelled_) {
        cleanUp();
        return;
    }
    if (result.error) {
        connectionDidFailWithError(*result.error);
        return;
    }
    response_.statusCode = result.response.statusCode;
    response_.headers = std::move(result.response.headers);
    responseData_ = std::move(result.response.body);
    connectionDidFinishLoading();
}

void ZarnPHttpRequest::cleanUp() {
    responseData_.reset();
    backgroundTask_.reset();
    backgroundTaskDao_.reset();
}

std::optional<Error> ZarnPHttpRequest::getErrorForStatusCode() const {
    int code = response_.statusCode;
    if (code >= 200 && code <= 299)
        return std::nullopt;
    return Error{kStatusErrorDomain, kStatusErrorCode,
                 format("Http request to [%@] failed with error code: %ld %@", url_, static_cast<long>(code),
                        localizedStringForStatusCode(code))};
}

std::optional<std::string> ZarnPHttpRequest::getHeaderValueFor(const std::string& name,
                                                               const platform::HttpHeaders& headers) {
    std::optional<std::string> value;
    for (const auto& [key, v] : headers)
        if (equalsIgnoringCase(key, name))
            value = v;
    return value;
}

std::string ZarnPHttpRequest::localizedStringForStatusCode(int code) {
    switch (code) {
        case 200:
            return "no error";
        case 201:
            return "created";
        case 202:
            return "accepted";
        case 204:
            return "no content";
        case 301:
            return "moved permanently";
        case 302:
            return "found";
        case 304:
            return "not modified";
        case 400:
            return "bad request";
        case 401:
            return "unauthorized";
        case 403:
            return "forbidden";
        case 404:
            return "not found";
        case 408:
            return "request timed out";
        case 413:
            return "request too large";
        case 429:
            return "too many requests";
        case 500:
            return "internal server error";
        case 502:
            return "bad gateway";
        case 503:
            return "service unavailable";
        case 504:
            return "gateway timed out";
        default:
            break;
    }
    if (code >= 100 && code < 200)
        return "informational";
    if (code >= 200 && code < 300)
        return "success";
    if (code >= 300 && code < 400)
        return "redirected";
    if (code >= 400 && code < 500)
        return "client error";
    return "server error";
}

}  // namespace zarn
