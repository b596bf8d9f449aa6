#pragma once
// Property-list values: dictionaries, arrays, strings, numbers, booleans and null.
#include <nlohmann/json.hpp>

namespace zarn {

using Value = nlohmann::json;

}  // namespace zarn
