#pragma once
#include <memory>
#include <string>

#include "device/exchange/ZarnPRawHttpRequest.h"
#include "device/exchange/ZarnPServiceResponseHttpRequest.h"

namespace zarn {

// Builds the two kinds of request, not yet started. The start-up code makes the creator and
// hands it to the module, so another one (the in-process test service) can take its place.
// Both answer nothing when the body cannot be compressed.
class ZarnPHttpRequestCreator {
  public:
    virtual ~ZarnPHttpRequestCreator() = default;
    ZarnPHttpRequestCreator() = default;
    ZarnPHttpRequestCreator(const ZarnPHttpRequestCreator&) = delete;
    ZarnPHttpRequestCreator& operator=(const ZarnPHttpRequestCreator&) = delete;

    virtual std::shared_ptr<ZarnPServiceResponseHttpRequest> createServiceResponseRequestWithUrl(
        const std::string& url, const std::string& method, const std::string& userName,
        const std::string& publicToken, const std::string& bodyData, const std::string& type,
        std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate,
        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
        std::shared_ptr<ZarnPContext> zarnContext) = 0;

    virtual std::shared_ptr<ZarnPRawHttpRequest> createRawRequestWithUrl(
        const std::string& url, const std::string& method, const std::string& userName,
        const std::string& publicToken, const std::string& bodyData, const std::string& type,
        std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate,
        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPContext> zarnContext,
        ZarnPDataUpdateReadFunction dataUpdateReader) = 0;
};

}  // namespace zarn
