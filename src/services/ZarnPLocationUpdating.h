#pragma once
#include <memory>

namespace zarn {

class ZarnPContext;

// The location update service as the facade drives it. SDK thread only.
class ZarnPLocationUpdating {
  public:
    virtual ~ZarnPLocationUpdating() = default;
    // Location updates follow the library's enabled state.
    virtual void enable() = 0;
    virtual void disable() = 0;
    // A fix, then a data update when one is due, for the run of the context.
    virtual void performFullUpdate(std::shared_ptr<ZarnPContext> context) = 0;
    virtual void performFullUpdateOrLogCurrentLocationWithContext(std::shared_ptr<ZarnPContext> context) = 0;
    // Forgets the last fix and the update times (all data cleared).
    virtual void clearData() = 0;
};

}  // namespace zarn
