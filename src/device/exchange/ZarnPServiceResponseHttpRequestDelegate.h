#pragma once
#include <memory>
#include <optional>

#include "zarn/Error.h"

namespace zarn {

class ZarnPContext;
class ZarnPServiceResponseHttpRequest;

// Completion of a request judged by its status alone, on the SDK thread.
class ZarnPServiceResponseHttpRequestDelegate {
  public:
    virtual ~ZarnPServiceResponseHttpRequestDelegate() = default;
    // The request, the error (none for a 2xx) and the request's context.
    virtual void completedWithRequest(const std::shared_ptr<ZarnPServiceResponseHttpRequest>& request,
                                      const std::optional<Error>& error,
                                      const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
};

}  // namespace zarn
