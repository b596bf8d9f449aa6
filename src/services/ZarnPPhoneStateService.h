#pragma once

namespace zarn {

// PLACEHOLDER until the phone-state service is built: the facade and the module only hold it so far.
class ZarnPPhoneStateService {
  public:
    virtual ~ZarnPPhoneStateService() = default;
};

}  // namespace zarn
