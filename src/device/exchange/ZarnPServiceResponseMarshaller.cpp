#include "device/exchange/ZarnPServiceResponseMarshaller.h"

#include "core/ZarnPDictionaryHelper.h"

namespace zarn {

namespace {
std::optional<std::string> optionalString(const Value& dict, const std::string& key,
                                          std::optional<Error>* error) {
    if (!dict.is_object() || !dict.contains(key))
        return std::nullopt;
    return ZarnPDictionaryHelper::dictStringForKey(dict, key, error);
}
}  // namespace

std::optional<ZarnPServiceResponse> ZarnPServiceResponseMarshaller::dictionaryToServiceResponse(
    const Value& dict, std::optional<Error>* error) {
    std::optional<Error> local;
    std::optional<Error>* slot = error ? error : &local;
    if (slot->has_value())
        return std::nullopt;
    ZarnPServiceResponse response;
    response.success = ZarnPDictionaryHelper::dictBoolForKey(dict, "success", slot);
    response.errorMessage = optionalString(dict, "errorMessage", slot);
    response.errorCode = optionalString(dict, "errorCode", slot);
    if (dict.is_object() && dict.contains("result"))
        response.result = ZarnPDictionaryHelper::dictObjectForKeyOrElse(dict, "result", Value());
    if (slot->has_value())
        return std::nullopt;
    return response;
}

}  // namespace zarn
