#pragma once

namespace zarn {

// PLACEHOLDER until the sent notifications and geotriggers tables is built: the facade and the module only
// hold it so far.
class ZarnPSentTriggerDao {
  public:
    virtual ~ZarnPSentTriggerDao() = default;
};

}  // namespace zarn
