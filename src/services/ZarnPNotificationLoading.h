#pragma once

namespace zarn {

// The notification service (data-update timing, loaded notifications) as the facade holds it. It declares the
// operations its callers use as they arrive; SDK thread only.
class ZarnPNotificationLoading {
  public:
    virtual ~ZarnPNotificationLoading() = default;
};

}  // namespace zarn
