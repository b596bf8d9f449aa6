#pragma once

namespace zarn {

// The sent notifications and geotriggers, as the matching, the facade and the opening of a
// tapped notification use them. It declares the operations its callers use as they arrive;
// SDK thread only.
class ZarnPSentTriggerDao {
  public:
    virtual ~ZarnPSentTriggerDao() = default;
};

}  // namespace zarn
