#pragma once
#include <memory>

namespace zarn {

class ZarnPContext;

// The opening side of the context service, as the platform wrappers see it: a new tracking
// context for a run they start. Called on the SDK thread.
class ZarnPContextStarting {
  public:
    virtual ~ZarnPContextStarting() = default;
    // A new context of the trigger-context type, with a reference count of 0.
    virtual std::shared_ptr<ZarnPContext> startContext(unsigned triggerContext) = 0;
};

}  // namespace zarn
