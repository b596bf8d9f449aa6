#pragma once
#include <memory>

#include "zarn/ValueFwd.h"

namespace zarn {

class ZarnPContext;

// The storing side of the event service, as the log-event writer and other producers of
// events see it. Called on the SDK thread.
class ZarnPEventLogging {
  public:
    virtual ~ZarnPEventLogging() = default;
    // Stores one event of `type` (dated now) with the extra entries (an object) for the context.
    virtual void logEventWithType(unsigned type, const Value& extra,
                                  const std::shared_ptr<ZarnPContext>& context) = 0;
};

}  // namespace zarn
