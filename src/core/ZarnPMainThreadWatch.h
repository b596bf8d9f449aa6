#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "platform/Mutex.h"
#include "zarn/Date.h"

namespace zarn {

namespace platform {
class RunLoop;
class Timer;
}  // namespace platform

// Notices a host that never runs its main loop. Each hop to the main thread is tracked from
// its post until it starts (or is dropped); once the oldest one still waiting has waited
// kPatience seconds of the library's clock, one WARN line names the loop the host must run.
// No app lets its main thread stall that long, so the line points at the host's setup rather
// than at the later failures that follow from it. Said once for the life of the object. Safe
// from any thread.
class ZarnPMainThreadWatch : public std::enable_shared_from_this<ZarnPMainThreadWatch> {
  public:
    static constexpr double kPatience = 10.0;

    // The checks run as timers of `checkLoop` (the SDK loop), on its time source's clock.
    explicit ZarnPMainThreadWatch(std::shared_ptr<platform::RunLoop> checkLoop);
    ~ZarnPMainThreadWatch();
    ZarnPMainThreadWatch(const ZarnPMainThreadWatch&) = delete;
    ZarnPMainThreadWatch& operator=(const ZarnPMainThreadWatch&) = delete;

    // `block`, counted as waiting until it starts or its last copy is destroyed unrun.
    std::function<void()> track(std::function<void()> block);

    // Whether the line has been said.
    bool hasWarned();

  private:
    class Ticket;
    void started(uint64_t ticket);
    void check();
    void arm(double seconds);

    const std::shared_ptr<platform::RunLoop> checkLoop_;
    Mutex mutex_;
    std::map<uint64_t, Date> waiting_ ZARN_GUARDED_BY(mutex_);  // post dates, oldest first
    uint64_t nextTicket_ ZARN_GUARDED_BY(mutex_) = 0;
    bool armed_ ZARN_GUARDED_BY(mutex_) = false;
    bool warned_ ZARN_GUARDED_BY(mutex_) = false;
    std::shared_ptr<platform::Timer> timer_ ZARN_GUARDED_BY(mutex_);
};

}  // namespace zarn
