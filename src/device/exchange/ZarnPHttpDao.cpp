#include "device/exchange/ZarnPHttpDao.h"

#include "core/ZarnException.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLogger.h"
#include "device/exchange/ZarnPHttpRequestCreator.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "HttpDao";
constexpr const char* kType = "application/json";
}  // namespace

ZarnPHttpDao::ZarnPHttpDao(std::shared_ptr<ZarnPBackgroundTaskDao> backgroundTaskDao,
                           ZarnPDataUpdateReadFunction dataUpdateReader,
                           std::shared_ptr<ZarnPHttpRequestCreator> httpRequestCreator,
                           std::string baseAddress)
    : backgroundTaskDao_(std::move(backgroundTaskDao)),
      dataUpdateReader_(std::move(dataUpdateReader)),
      httpRequestCreator_(std::move(httpRequestCreator)),
      baseAddress_(std::move(baseAddress)) {
    ZARN_REQUIRE(backgroundTaskDao_);
    ZARN_REQUIRE(dataUpdateReader_);
    ZARN_REQUIRE(httpRequestCreator_);
}

std::optional<std::string> ZarnPHttpDao::createBodydata(const Value& json) {
    if (json.is_null() || json.is_discarded())
        return std::nullopt;
    std::string text = ZarnPJson::serialise(json);
    if (text.empty()) {
        LogNsError(
            kDomain,
            Error{ZarnPJson::kErrorDomain, ZarnPJson::kErrorCode, "The object could not be serialised"},
            "Failed to convert to json");
        return std::nullopt;
    }
    return text;
}

bool ZarnPHttpDao::createRequestFor(const std::string& path, const std::string& method,
                                    const std::string& publicToken, const Value& jsonBody,
                                    std::shared_ptr<ZarnPServiceResponseHttpRequestDelegate> delegate,
                                    std::any tag, std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::string url = format("%@%@", baseAddress_, path);
    auto body = createBodydata(jsonBody);
    if (!body)
        return false;
    auto request = httpRequestCreator_->createServiceResponseRequestWithUrl(
        url, method, "", publicToken, *body, kType, std::move(delegate), backgroundTaskDao_,
        std::move(zarnContext));
    if (!request)
        return false;
    request->setRequestTag(std::move(tag));
    request->start();
    return request->isStarted();
}

bool ZarnPHttpDao::createRawRequestFor(const std::string& path, const std::string& method,
                                       const std::string& publicToken, const Value& jsonBody,
                                       std::shared_ptr<ZarnPRawHttpRequestDelegate> delegate, std::any tag,
                                       std::shared_ptr<ZarnPContext> zarnContext) {
    ZARN_CHECK_SEQUENCE(sequence_);
    std::string url = format("%@%@", baseAddress_, path);
    auto body = createBodydata(jsonBody);
    if (!body)
        return false;
    auto request = httpRequestCreator_->createRawRequestWithUrl(url, method, "", publicToken, *body, kType,
                                                                std::move(delegate), backgroundTaskDao_,
                                                                std::move(zarnContext), dataUpdateReader_);
    if (!request)
        return false;
    request->setRequestTag(std::move(tag));
    request->start();
    return request->isStarted();
}

std::string ZarnPHttpDao::hostOf(const std::string& address) {
    std::string rest = address;
    auto scheme = rest.find("://");
    if (scheme != std::string::npos)
        rest = rest.substr(scheme + 3);
    auto end = rest.find_first_of("/?#");
    if (end != std::string::npos)
        rest = rest.substr(0, end);
    auto at = rest.rfind('@');
    if (at != std::string::npos)
        rest = rest.substr(at + 1);
    if (!rest.empty() && rest.front() == '[') {
        auto close = rest.find(']');
        return close == std::string::npos ? rest : rest.substr(1, close - 1);
    }
    auto colon = rest.find(':');
    return colon == std::string::npos ? rest : rest.substr(0, colon);
}

}  // namespace zarn
