#pragma once
#include <optional>

#include "device/exchange/ZarnPServiceResponse.h"
#include "zarn/Error.h"

namespace zarn {

// Reads the reply envelope: "success" (required; a boolean or number), "errorMessage" and
// "errorCode" (optional strings), "result" (optional, any value). Stateless; any thread.
class ZarnPServiceResponseMarshaller {
  public:
    // Nothing with the first read error set (-2 missing "success", -3 a key of the wrong type),
    // or nothing at once when `error` already holds one.
    static std::optional<ZarnPServiceResponse> dictionaryToServiceResponse(const Value& dict,
                                                                           std::optional<Error>* error);
};

}  // namespace zarn
