#pragma once
#include <memory>

namespace zarn {

class ZarnPContext;

// Asked by the match-run dispatch for a fix when a region event makes a match run due (the
// location update service). SDK thread.
class ZarnPMatchServiceProximityTriggeredDelegate {
  public:
    virtual ~ZarnPMatchServiceProximityTriggeredDelegate() = default;
    // Ends, for the run, in the dispatch's locationAcquired.
    virtual void proximityTriggered(const std::shared_ptr<ZarnPContext>& context) = 0;
};

}  // namespace zarn
