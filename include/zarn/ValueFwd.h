#pragma once
// The name of the property-list value type without its definition, for headers that only pass
// values by reference or declare functions that take or return them. Include "zarn/Value.h"
// where a value is built, read or stored.
#include <nlohmann/json_fwd.hpp>

namespace zarn {

using Value = nlohmann::json;

}  // namespace zarn
