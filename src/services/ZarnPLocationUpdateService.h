#pragma once
#include <memory>

namespace zarn {

class ZarnPContext;

// PLACEHOLDER until the location update service is built: the operations the facade calls,
// doing nothing. The real service decides when to fetch a fix and a data update.
class ZarnPLocationUpdateService {
  public:
    virtual ~ZarnPLocationUpdateService() = default;
    virtual void enable() {}
    virtual void disable() {}
    virtual void performFullUpdate(std::shared_ptr<ZarnPContext>) {}
    virtual void performFullUpdateOrLogCurrentLocationWithContext(std::shared_ptr<ZarnPContext>) {}
    virtual void clearData() {}
};

}  // namespace zarn
