#include "device/exchange/ZarnPServiceResponseHttpRequest.h"

#include "core/ZarnPLogger.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "HttpRequest";
}

std::shared_ptr<ZarnPServiceResponseHttpRequest> ZarnPServiceResponseHttpRequest::create(
    std::shared_ptr<platform::HttpClient> client, const std::string& url, const std::string& method,
    const std::string& userName, const std::string& password, const std::string& body,
    const std::string& type, std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate,
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPContext> zarnContext) {
    auto request = buildRequest(url, method, userName, password, body, type);
    if (!request)
        return nullptr;
    return std::shared_ptr<ZarnPServiceResponseHttpRequest>(
        new ZarnPServiceResponseHttpRequest(std::move(client), url, std::move(*request), std::move(delegate),
                                            std::move(backgroundTaskDao), std::move(zarnContext)));
}

ZarnPServiceResponseHttpRequest::ZarnPServiceResponseHttpRequest(
    std::shared_ptr<platform::HttpClient> client, std::string url, platform::HttpRequest request,
    std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate,
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPContext> zarnContext)
    : ZarnPHttpRequest(std::move(client), std::move(url), std::move(request), std::move(backgroundTaskDao),
                       std::move(zarnContext)),
      delegate_(std::move(delegate)) {}

void ZarnPServiceResponseHttpRequest::connectionDidFailWithError(const Error& error) {
    completeWith(error);
}

void ZarnPServiceResponseHttpRequest::connectionDidFinishLoading() {
    completeWith(getErrorForStatusCode());
}

void ZarnPServiceResponseHttpRequest::completeWith(const std::optional<Error>& error) {
    if (error)
        LogInfo(kDomain, "Request error: %@", error->description());
    auto self = std::static_pointer_cast<ZarnPServiceResponseHttpRequest>(shared_from_this());
    if (auto delegate = delegate_)
        delegate->completedWithRequest(self, error, zarnContext());
    cleanUp();
}

void ZarnPServiceResponseHttpRequest::cleanUp() {
    delegate_.reset();
    ZarnPHttpRequest::cleanUp();
}

}  // namespace zarn
