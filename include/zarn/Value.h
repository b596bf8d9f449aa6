#pragma once
// Property-list values: dictionaries, arrays, strings, numbers, booleans and null.
#include <nlohmann/json.hpp>

#include "zarn/ValueFwd.h"

namespace zarn {

// How deeply a value the app hands to the library may nest dictionaries and arrays inside one
// another: a text or a number nests 0 levels, {} and [] 1, {"a": [1]} 2. A deeper value is
// logged and ignored before the library copies or walks it.
inline constexpr int kMaxValueDepth = 64;
// The userInfo of the library's own notifications and geotriggers carries the app's match
// payload entries two levels down; such a userInfo handed back may nest this deeply.
inline constexpr int kMaxUserInfoDepth = kMaxValueDepth + 2;

}  // namespace zarn
