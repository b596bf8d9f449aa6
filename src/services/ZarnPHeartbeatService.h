#pragma once
#include "services/ZarnPHeartbeatScheduling.h"

namespace zarn {

// PLACEHOLDER until the heartbeat is built: starting its timer does nothing.
class ZarnPHeartbeatService : public ZarnPHeartbeatScheduling {
  public:
    void startTimer() override {}
};

}  // namespace zarn
