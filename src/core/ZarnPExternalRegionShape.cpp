#include "core/ZarnPExternalRegionShape.h"

#include "core/Format.h"
#include "core/ZarnPExternalTriggerType.h"
#include "zarn/Value.h"

namespace zarn {

namespace {

const char* kindOf(const Value& value) {
    switch (value.type()) {
        case Value::value_t::null:
            return "null";
        case Value::value_t::object:
            return "a dictionary";
        case Value::value_t::array:
            return "a list";
        case Value::value_t::string:
            return "a text";
        case Value::value_t::boolean:
            return "a boolean";
        case Value::value_t::binary:
            return "binary data";
        case Value::value_t::discarded:
            return "no value";
        default:
            return "a number";
    }
}

// `where` is empty for the properties themselves.
std::string wrongProperties(const Value& value, const std::string& where = {}) {
    return format(
        "Ignoring external region trigger: the properties must be a list of dictionaries of texts, like "
        "[{\"room\": \"lobby\"}]; got %@%@",
        kindOf(value), where.empty() ? where : " at " + where);
}

std::string quoted(const std::string& text) {
    return Value(text).dump(-1, ' ', false, Value::error_handler_t::replace);
}

}  // namespace

std::optional<std::string> ZarnPExternalRegionShape::problem(const Value& properties,
                                                             const std::string& triggerType,
                                                             const Value& matchPayload) {
    if (ZarnPExternalTriggerType::toTriggerType(triggerType) < 0)
        return format(
            "Ignoring external region trigger of unknown type %@: the type is \"enter\" or \"exit\"",
            quoted(triggerType));
    if (!properties.is_array())
        return wrongProperties(properties);
    size_t i = 0;
    for (const Value& region : properties) {
        if (!region.is_object())
            return wrongProperties(region, format("properties[%@]", i));
        for (auto it = region.begin(); it != region.end(); ++it)
            if (!it->is_string() && !it->is_null())
                return wrongProperties(*it, format("properties[%@][%@]", i, quoted(it.key())));
        ++i;
    }
    if (!matchPayload.is_object() && !matchPayload.is_null())
        return format(
            "Ignoring external region trigger: the match payload must be a dictionary, like "
            "{\"coupon\": \"X12\"}; got %@",
            kindOf(matchPayload));
    return std::nullopt;
}

}  // namespace zarn
