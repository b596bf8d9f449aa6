#pragma once

namespace zarn {

// The closest contextual page of each run type, as the matching services and the facade use
// it. It declares the operations its callers use as they arrive; SDK thread only.
class ZarnPContextualPageDao {
  public:
    virtual ~ZarnPContextualPageDao() = default;
};

}  // namespace zarn
