#pragma once
#include <any>
#include <memory>
#include <optional>
#include <string>

#include "core/ZarnPSequenceChecker.h"
#include "device/exchange/ZarnPRawHttpRequest.h"
#include "zarn/Value.h"

namespace zarn {

class ZarnPBackgroundTaskDao;
class ZarnPContext;
class ZarnPHttpRequestCreator;
class ZarnPServiceResponseHttpRequestDelegate;

// Turns a path word, a JSON object and a delegate into a started POST to the service's base
// address. Used on the SDK thread.
class ZarnPHttpDao {
  public:
    // `baseAddress`: the service's https address, ending in "/v2/client/".
    ZarnPHttpDao(std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                 ZarnPDataUpdateReadFunction dataUpdateReader,
                 std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator, std::string baseAddress);
    ZarnPHttpDao(const ZarnPHttpDao&) = delete;
    ZarnPHttpDao& operator=(const ZarnPHttpDao&) = delete;

    // Make and start a request whose reply is judged by its status / is a data update. True when
    // a request was started; false when no body could be made (no request, and the delegate is
    // never called), so the caller can complete on its own.
    bool createRequestFor(const std::string& path, const std::string& method, const std::string& publicToken,
                          const Value& jsonBody,
                          std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate, std::any tag,
                          std::shared_ptr<ZarnPContext> zarnContext);
    bool createRawRequestFor(const std::string& path, const std::string& method,
                             const std::string& publicToken, const Value& jsonBody,
                             std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate, std::any tag,
                             std::shared_ptr<ZarnPContext> zarnContext);

    // The compact JSON text, or nothing for no object (null) or when serialising fails (logged
    // "Failed to convert to json"). Text that is not valid UTF-8 is replaced, never a failure.
    std::optional<std::string> createBodydata(const Value& json);

    const std::string& baseAddress() const { return baseAddress_; }
    // The host of an address ("api.zarn.invalid" of "https://api.zarn.invalid/v2/client/").
    static std::string hostOf(const std::string& address);

  private:
    std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao_;
    ZarnPDataUpdateReadFunction dataUpdateReader_;
    std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator_;
    std::string baseAddress_;
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
