#pragma once
#include <functional>
#include <memory>

#include "zarn/Date.h"
#include "zarn/platform/RunLoop.h"
#include "zarn/platform/TimeSource.h"

namespace zarn::sim {

// The simulated world's time: the time source it is built with (virtual in tests) and the host's
// main run loop, on which the system calls into the app. The main loop is looked up at each use:
// a host builds the device before it installs the platform, and installing makes a new main loop.
// Any thread. A post or a timer aimed at an object that is gone by then is dropped, never run.
class Clock {
  public:
    explicit Clock(std::shared_ptr<platform::TimeSource> time);
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    Date now();
    double nowSeconds();

    // Queues `task` on the main run loop, behind what is queued there.
    void post(std::function<void()> task);
    // A one-shot timer on the main run loop, `seconds` from now.
    std::shared_ptr<platform::Timer> after(double seconds, std::function<void()> callback);

    // The same, for a call on `target` that is dropped once the target is gone.
    template <typename T, typename F>
    void post(const std::weak_ptr<T>& target, F call) {
        post([target, call = std::move(call)] {
            if (auto self = target.lock())
                call(*self);
        });
    }
    template <typename T, typename F>
    std::shared_ptr<platform::Timer> after(double seconds, const std::weak_ptr<T>& target, F call) {
        return after(seconds, [target, call = std::move(call)] {
            if (auto self = target.lock())
                call(*self);
        });
    }

  private:
    const std::shared_ptr<platform::TimeSource> time_;
};

}  // namespace zarn::sim
