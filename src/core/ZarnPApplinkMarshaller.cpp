#include "core/ZarnPApplinkMarshaller.h"

#include "core/ZarnPJson.h"
#include "core/ZarnPLogger.h"
#include "zarn/Value.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "ApplinkMarshaller";

std::optional<std::string> stringFor(const Value& dictionary, const char* key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->is_string())
        return std::nullopt;
    return it->get<std::string>();
}
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
    applink->setIosAppUrl(stringFor(dictionary, "iosAppUrl"));
    applink->setIosFallbackUrl(stringFor(dictionary, "iosFallbackUrl"));
    return applink;
}

}  // namespace zarn
