#pragma once

namespace zarn {

// The match-run dispatch as the facade holds it. It declares the operations its callers use as they arrive;
// SDK thread only.
class ZarnPMatchRunDispatching {
  public:
    virtual ~ZarnPMatchRunDispatching() = default;
};

}  // namespace zarn
