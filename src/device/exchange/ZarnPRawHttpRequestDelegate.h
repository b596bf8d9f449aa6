#pragma once
#include <memory>
#include <optional>

#include "zarn/Error.h"

namespace com::zarnkit::velto::dataupdate::fb {
struct DataUpdateResponseDTO;
}

namespace zarn {

class ZarnPContext;
class ZarnPRawHttpRequest;

// Completion of a request whose reply is a data update, on the SDK thread.
class ZarnPRawHttpRequestDelegate {
  public:
    virtual ~ZarnPRawHttpRequestDelegate() = default;
    // The request, the data update's root or nothing, the error or nothing, the request's
    // context. The root points into the request's reply and is valid only during this call.
    virtual void httpRequest(const std::shared_ptr<ZarnPRawHttpRequest>& request,
                             const com::zarnkit::velto::dataupdate::fb::DataUpdateResponseDTO* response,
                             const std::optional<Error>& error,
                             const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
};

}  // namespace zarn
