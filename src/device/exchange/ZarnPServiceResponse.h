#pragma once
#include <optional>
#include <string>

#include "zarn/Value.h"

namespace zarn {

// The service's JSON reply envelope.
struct ZarnPServiceResponse {
    bool success = false;
    std::optional<std::string> errorMessage;
    std::optional<std::string> errorCode;
    std::optional<Value> result;
};

}  // namespace zarn
