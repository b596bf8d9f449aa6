#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "device/exchange/ZarnPHttpRequest.h"
#include "device/exchange/ZarnPRawHttpRequestDelegate.h"

namespace zarn {

// Locates the data update's root in a reply body: nothing for a body that holds none (empty,
// too short, or failing verification). The root points into the given bytes.
using ZarnPDataUpdateReadFunction =
    std::function<const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO*(
        const std::vector<std::uint8_t>&)>;

// A request whose reply is a FlatBuffers data update. The body is read in every case, also
// when the status is an error; the delegate gets the root, the status or transport error and
// the context, then the request lets go of the delegate, the reply and the background task.
class ZarnPRawHttpRequest final : public ZarnPHttpRequest {
  public:
    // Nothing when the body cannot be compressed.
    static std::shared_ptr<ZarnPRawHttpRequest> create(
        std::shared_ptr<platform::HttpClient> client, const std::string& url, const std::string& method,
        const std::string& userName, const std::string& password, const std::string& body,
        const std::string& type, std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate,
        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao, std::shared_ptr<ZarnPContext> zarnContext,
        ZarnPDataUpdateReadFunction dataUpdateReader);

    const std::shared_ptr<ZarnPRawHttpRequestDelegate>& delegate() const { return delegate_; }

  private:
    ZarnPRawHttpRequest(std::shared_ptr<platform::HttpClient> client, std::string url,
                        platform::HttpRequest request, std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate,
                        std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                        std::shared_ptr<ZarnPContext> zarnContext,
                        ZarnPDataUpdateReadFunction dataUpdateReader);

    void connectionDidFailWithError(const Error& error) override;
    void connectionDidFinishLoading() override;
    void cleanUp() override;
    void completeWith(const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* root,
                      const std::optional<Error>& error);

    std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate_;
    ZarnPDataUpdateReadFunction dataUpdateReader_;
};

}  // namespace zarn
