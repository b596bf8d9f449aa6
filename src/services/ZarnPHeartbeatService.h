#pragma once

namespace zarn {

// PLACEHOLDER until the heartbeat is built: starting its timer does nothing.
class ZarnPHeartbeatService {
  public:
    virtual ~ZarnPHeartbeatService() = default;
    virtual void startTimer() {}
};

}  // namespace zarn
