#include "store/ZarnPSqlValue.h"
#include "zarn/Value.h"

namespace zarn {

ZarnPSqlValue::ZarnPSqlValue(const Value& v) {
    switch (v.type()) {
        case Value::value_t::null:
        case Value::value_t::discarded:
            break;
        case Value::value_t::boolean:
            value_ = static_cast<int64_t>(v.get<bool>() ? 1 : 0);
            break;
        case Value::value_t::number_integer:
            value_ = v.get<int64_t>();
            break;
        case Value::value_t::number_unsigned:
            value_ = static_cast<int64_t>(v.get<uint64_t>());
            break;
        case Value::value_t::number_float:
            value_ = v.get<double>();
            break;
        case Value::value_t::string:
            value_ = v.get<std::string>();
            break;
        case Value::value_t::binary: {
            const auto& bin = v.get_binary();
            value_ = ZarnPSqlBlob{std::string(bin.begin(), bin.end())};
            break;
        }
        case Value::value_t::array:
        case Value::value_t::object:
            // Invalid UTF-8 inside is replaced rather than raised.
            value_ = v.dump(-1, ' ', false, Value::error_handler_t::replace);
            break;
    }
}

}  // namespace zarn
