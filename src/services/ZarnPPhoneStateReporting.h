#pragma once
#include <string>

namespace zarn {

// The phone-state service as the facade and the debug-log mail use it. SDK thread only.
class ZarnPPhoneStateReporting {
  public:
    virtual ~ZarnPPhoneStateReporting() = default;
    // Forgets the stored app, platform and permission states (all data cleared), so the next
    // update reports them again.
    virtual void clearData() = 0;
    // The app and device lines of the debug-log mail.
    virtual std::string getAppInformation() = 0;
};

}  // namespace zarn
