#pragma once
// Property-list values: dictionaries, arrays, strings, numbers, booleans and null.
#include <nlohmann/json.hpp>

#include "zarn/ValueFwd.h"
