#pragma once

namespace zarn {

// The phone-state service as the facade holds it. It declares the operations its callers use as they arrive;
// SDK thread only.
class ZarnPPhoneStateReporting {
  public:
    virtual ~ZarnPPhoneStateReporting() = default;
};

}  // namespace zarn
