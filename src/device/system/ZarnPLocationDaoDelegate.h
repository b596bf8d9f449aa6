#pragma once
#include <memory>
#include <optional>

#include "zarn/platform/LocationFix.h"

namespace zarn {

class ZarnPContext;

// Receives the answer of a one-shot location request (the location update service). SDK thread.
class ZarnPLocationDaoDelegate {
  public:
    virtual ~ZarnPLocationDaoDelegate() = default;
    // The best fix of the request, or nothing when no usable fix came; with the request's context.
    virtual void locationDaoDidReceiveLocation(const std::optional<platform::LocationFix>& location,
                                               const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
};

}  // namespace zarn
