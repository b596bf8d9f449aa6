#pragma once
#include <memory>

#include "device/exchange/ZarnPHttpRequest.h"
#include "device/exchange/ZarnPServiceResponseHttpRequestDelegate.h"

namespace zarn {

// A request judged by its status alone: the reply body is never parsed. The delegate gets the
// status or transport error and the context, then the request lets go of the delegate, the
// reply and the background task.
class ZarnPServiceResponseHttpRequest final : public ZarnPHttpRequest {
  public:
    // Nothing when the body cannot be compressed.
    static std::shared_ptr<ZarnPServiceResponseHttpRequest> create(
        std::shared_ptr<platform::HttpClient> client, const std::string& url, const std::string& method,
        const std::string& userName, const std::string& password, const std::string& body,
        const std::string& type, std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate,
        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPContext> zarnContext);

    const std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate>& delegate() const { return delegate_; }

  private:
    ZarnPServiceResponseHttpRequest(std::shared_ptr<platform::HttpClient> client, std::string url,
                                    platform::HttpRequest request,
                                    std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate,
                                    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                                    std::shared_ptr<ZarnPContext> zarnContext);

    void connectionDidFailWithError(const Error& error) override;
    void connectionDidFinishLoading() override;
    void cleanUp() override;
    void completeWith(const std::optional<Error>& error);

    std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate_;
};

}  // namespace zarn
