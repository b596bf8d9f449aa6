#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "zarn/Date.h"

namespace zarn::platform {

class RunLoop;

// The one source of wall time and of waiting. The system source reads the real clock; the
// virtual source (tests) only moves when told to and then fires the due timers itself.
// All methods are safe to call from any thread.
class TimeSource {
  public:
    virtual ~TimeSource() = default;
    TimeSource() = default;
    TimeSource(const TimeSource&) = delete;
    TimeSource& operator=(const TimeSource&) = delete;

    virtual Date now() = 0;
    // The local time zone's offset from GMT at `date`, in seconds.
    virtual long timeZoneOffsetSeconds(Date date) = 0;

    // True when run loops must not fire timers by themselves (the source fires them).
    virtual bool drivesTimers() const = 0;

    // Blocks on `cv` until notified or, for a source that does not drive timers, until `deadline`.
    virtual void wait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                      std::optional<Date> deadline) = 0;

    // Bookkeeping that lets a virtual source know when everything is idle; no-ops otherwise.
    virtual void attach(const std::shared_ptr<RunLoop>&) {}
    virtual void detach(const RunLoop*) {}
    virtual void noteActivity() {}
    // A piece of work outside every run loop (an HTTP request in flight, a simulated callback).
    virtual void outsideWorkBegan() {}
    virtual void outsideWorkEnded() {}
};

// Marks a piece of outside work for as long as it lives.
class OutsideWork {
  public:
    explicit OutsideWork(std::shared_ptr<TimeSource> source) : source_(std::move(source)) {
        if (source_)
            source_->outsideWorkBegan();
    }
    ~OutsideWork() {
        if (source_)
            source_->outsideWorkEnded();
    }
    OutsideWork(const OutsideWork&) = delete;
    OutsideWork& operator=(const OutsideWork&) = delete;

  private:
    std::shared_ptr<TimeSource> source_;
};

// Real time. The time zone is the process's (TZ).
class SystemTimeSource final : public TimeSource {
  public:
    Date now() override;
    long timeZoneOffsetSeconds(Date date) override;
    bool drivesTimers() const override { return false; }
    void wait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
              std::optional<Date> deadline) override;
};

}  // namespace zarn::platform
