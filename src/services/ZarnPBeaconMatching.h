#pragma once

namespace zarn {

// Beacon matching as the facade and the match-run dispatch hold it. It declares the operations its callers
// use as they arrive; SDK thread only.
class ZarnPBeaconMatching {
  public:
    virtual ~ZarnPBeaconMatching() = default;
};

}  // namespace zarn
