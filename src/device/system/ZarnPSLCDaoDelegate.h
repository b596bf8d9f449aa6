#pragma once
#include <memory>

#include "zarn/platform/LocationFix.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;

// Receives the best fix of a significant-change wake-up (the location update service). SDK
// thread.
class ZarnPSLCDaoDelegate {
  public:
    virtual ~ZarnPSLCDaoDelegate() = default;
    // The fix, the background task held for the collection (never null) and a new context of
    // trigger type "slc".
    virtual void slcDaoDidReceiveLocation(const platform::LocationFix& location,
                                          const std::shared_ptr<ZarnPBackgroundTask>& backgroundTask,
                                          const std::shared_ptr<ZarnPContext>& zarnContext) = 0;
};

}  // namespace zarn
