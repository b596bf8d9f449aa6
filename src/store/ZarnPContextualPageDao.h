#pragma once

namespace zarn {

// PLACEHOLDER until the contextual page table is built: the facade and the module only hold it so far.
class ZarnPContextualPageDao {
  public:
    virtual ~ZarnPContextualPageDao() = default;
};

}  // namespace zarn
