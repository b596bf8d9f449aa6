#pragma once

namespace zarn {

// The heartbeat service as the facade starts it. SDK thread only.
class ZarnPHeartbeatScheduling {
  public:
    virtual ~ZarnPHeartbeatScheduling() = default;
    // Starts the daily heartbeat timer (after the first configuration).
    virtual void startTimer() = 0;
};

}  // namespace zarn
