#include "device/exchange/ZarnPRawHttpRequest.h"

#include "core/ZarnPLogger.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "HttpRequest";
}

std::shared_ptr<ZarnPRawHttpRequest> ZarnPRawHttpRequest::create(
    std::shared_ptr<platform::HttpClient> client, const std::string& url, const std::string& method,
    const std::string& userName, const std::string& password, const std::string& body,
    const std::string& type, std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate,
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPContext> zarnContext,
    ZarnPDataUpdateReadFunction dataUpdateReader) {
    auto request = buildRequest(url, method, userName, password, body, type);
    if (!request)
        return nullptr;
    return std::shared_ptr<ZarnPRawHttpRequest>(new ZarnPRawHttpRequest(
        std::move(client), url, std::move(*request), std::move(delegate), std::move(backgroundTaskDao),
        std::move(zarnContext), std::move(dataUpdateReader)));
}

ZarnPRawHttpRequest::ZarnPRawHttpRequest(std::shared_ptr<platform::HttpClient> client, std::string url,
                                         platform::HttpRequest request,
                                         std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate,
                                         std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                                         std::shared_ptr<ZarnPContext> zarnContext,
                                         ZarnPDataUpdateReadFunction dataUpdateReader)
    : ZarnPHttpRequest(std::move(client), std::move(url), std::move(request), std::move(backgroundTaskDao),
                       std::move(zarnContext)),
      delegate_(std::move(delegate)),
      dataUpdateReader_(std::move(dataUpdateReader)) {}

void ZarnPRawHttpRequest::connectionDidFailWithError(const Error& error) {
    completeWith(nullptr, error);
}

void ZarnPRawHttpRequest::connectionDidFinishLoading() {
    auto error = getErrorForStatusCode();
    const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* root = nullptr;
    if (dataUpdateReader_ && responseData())
        root = dataUpdateReader_(*responseData());
    completeWith(root, error);
}

void ZarnPRawHttpRequest::completeWith(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* root,
                                       const std::optional<Error>& error) {
    if (error)
        LogInfo(kDomain, "Request error: %@", error->description());
    auto self = std::static_pointer_cast<ZarnPRawHttpRequest>(shared_from_this());
    if (auto delegate = delegate_)
        delegate->httpRequest(self, root, error, zarnContext());
    cleanUp();
}

void ZarnPRawHttpRequest::cleanUp() {
    delegate_.reset();
    ZarnPHttpRequest::cleanUp();
}

}  // namespace zarn
