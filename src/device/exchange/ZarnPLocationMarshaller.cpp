#include "device/exchange/ZarnPLocationMarshaller.h"

#include "core/ZarnPDictionaryHelper.h"
#include "core/ZarnPLocation.h"

namespace zarn {

Value ZarnPLocationMarshaller::locationToDictionary(const ZarnPLocation& location) {
    Value dict = Value::object();
    dict["latitude"] = static_cast<double>(location.latitude());
    dict["longitude"] = static_cast<double>(location.longitude());
    return dict;
}

std::shared_ptr<ZarnPLocation> ZarnPLocationMarshaller::dictionaryToLocation(const Value& dict,
                                                                             std::optional<Error>* error) {
    std::optional<Error> local;
    std::optional<Error>* slot = error ? error : &local;
    if (slot->has_value())
        return nullptr;
    double latitude = ZarnPDictionaryHelper::dictDoubleForKey(dict, "latitude", slot);
    double longitude = ZarnPDictionaryHelper::dictDoubleForKey(dict, "longitude", slot);
    if (slot->has_value())
        return nullptr;
    return std::make_shared<ZarnPLocation>(latitude, longitude);
}

}  // namespace zarn
