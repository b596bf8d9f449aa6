#include "device/exchange/ZarnPApplinkMarshaller.h"

#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPJson.h"
#include "core/ZarnPLogger.h"
#include "zarn/Value.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "ApplinkMarshaller";
}  // namespace

std::shared_ptr<ZarnPApplink> ZarnPApplinkMarshaller::createApplinkFromJsonString(std::string_view json) {
    Error error;
    auto value = ZarnPJson::parse(json, &error);
    if (!value) {
        LogNsError(kDomain, error, "Failed to parse app link");
        return nullptr;
    }
    if (!value->is_object()) {
        LogError(kDomain, "jsonResponse isn't of right type.");
        return nullptr;
    }
    return createApplinkFromDictionairy(*value);
}

std::shared_ptr<ZarnPApplink> ZarnPApplinkMarshaller::createApplinkFromDictionairy(const Value& dictionary) {
    auto applink = std::make_shared<ZarnPApplink>();
    if (!dictionary.is_object())
        return applink;
    applink->setIosAppUrl(ZarnPDictionaryHelper::stringEntry(dictionary, "iosAppUrl"));
    applink->setIosFallbackUrl(ZarnPDictionaryHelper::stringEntry(dictionary, "iosFallbackUrl"));
    return applink;
}

}  // namespace zarn
