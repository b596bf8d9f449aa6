#pragma once
#include <memory>

#include "device/exchange/ZarnPHttpRequestCreator.h"

namespace zarn {

// Makes the requests over one platform HTTP client, with the public token as the password of
// the Basic authorisation.
class ZarnPHttpRequestCreatorImpl final : public ZarnPHttpRequestCreator {
  public:
    explicit ZarnPHttpRequestCreatorImpl(std::shared_ptr<platform::HttpClient> client);

    std::shared_ptr<ZarnPServiceResponseHttpRequest> createServiceResponseRequestWithUrl(
        const std::string& url, const std::string& method, const std::string& userName,
        const std::string& publicToken, const std::string& bodyData, const std::string& type,
        std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate,
        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
        std::shared_ptr<ZarnPContext> zarnContext) override;

    std::shared_ptr<ZarnPRawHttpRequest> createRawRequestWithUrl(
        const std::string& url, const std::string& method, const std::string& userName,
        const std::string& publicToken, const std::string& bodyData, const std::string& type,
        std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate,
        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPContext> zarnContext,
        ZarnPDataUpdateReadFunction dataUpdateReader) override;

    const std::shared_ptr<platform::HttpClient>& client() const { return client_; }

  private:
    std::shared_ptr<platform::HttpClient> client_;
};

}  // namespace zarn
