#include "device/exchange/ZarnPHttpRequestCreatorImpl.h"

#include "core/ZarnException.h"

namespace zarn {

ZarnPHttpRequestCreatorImpl::ZarnPHttpRequestCreatorImpl(std::shared_ptr<platform::HttpClient> client)
    : client_(std::move(client)) {
    ZARN_REQUIRE(client_);
}

std::shared_ptr<ZarnPServiceResponseHttpRequest>
ZarnPHttpRequestCreatorImpl::createServiceResponseRequestWithUrl(
    const std::string& url, const std::string& method, const std::string& userName,
    const std::string& publicToken, const std::string& bodyData, const std::string& type,
    std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate,
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPContext> zarnContext) {
    return ZarnPServiceResponseHttpRequest::create(client_, url, method, userName, publicToken, bodyData,
                                                   type, std::move(delegate), std::move(backgroundTaskDao),
                                                   std::move(zarnContext));
}

std::shared_ptr<ZarnPRawHttpRequest> ZarnPHttpRequestCreatorImpl::createRawRequestWithUrl(
    const std::string& url, const std::string& method, const std::string& userName,
    const std::string& publicToken, const std::string& bodyData, const std::string& type,
    std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate,
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPContext> zarnContext,
    ZarnPDataUpdateReadFunction dataUpdateReader) {
    return ZarnPRawHttpRequest::create(client_, url, method, userName, publicToken, bodyData, type,
                                       std::move(delegate), std::move(backgroundTaskDao),
                                       std::move(zarnContext), std::move(dataUpdateReader));
}

}  // namespace zarn
