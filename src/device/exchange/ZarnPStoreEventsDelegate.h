#pragma once
#include <memory>
#include <optional>
#include <vector>

#include "zarn/Error.h"

namespace zarn {

class ZarnPContext;
class ZarnPEvent;

// Completion of a "storeEvents" exchange, on the SDK thread.
class ZarnPStoreEventsDelegate {
  public:
    virtual ~ZarnPStoreEventsDelegate() = default;
    // The events that were sent, the error (none on success) and the request's context.
    virtual void storeEventsCompleted(const std::vector<std::shared_ptr<ZarnPEvent>>& events,
                                      const std::optional<Error>& error,
                                      std::shared_ptr<ZarnPContext> zarnContext) = 0;
};

}  // namespace zarn
