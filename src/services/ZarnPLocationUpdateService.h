#pragma once
#include <memory>

#include "services/ZarnPLocationUpdating.h"

namespace zarn {

class ZarnPContext;

// PLACEHOLDER until the location update service is built: the operations the facade calls,
// doing nothing. The real service decides when to fetch a fix and a data update.
class ZarnPLocationUpdateService : public ZarnPLocationUpdating {
  public:
    void enable() override {}
    void disable() override {}
    void performFullUpdate(std::shared_ptr<ZarnPContext>) override {}
    void performFullUpdateOrLogCurrentLocationWithContext(std::shared_ptr<ZarnPContext>) override {}
    void clearData() override {}
};

}  // namespace zarn
