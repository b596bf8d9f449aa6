#pragma once
#include "zarn/platform/BackgroundTasks.h"

namespace zarn {

// What a kill timer carries: the task it ends.
class ZarnPKillHandler {
  public:
    explicit ZarnPKillHandler(platform::BackgroundTaskIdentifier identifier) : identifier_(identifier) {}
    platform::BackgroundTaskIdentifier identifier() const { return identifier_; }
    void setIdentifier(platform::BackgroundTaskIdentifier identifier) { identifier_ = identifier; }

  private:
    platform::BackgroundTaskIdentifier identifier_;
};

}  // namespace zarn
