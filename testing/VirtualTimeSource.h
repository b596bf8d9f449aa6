#pragma once
#include <functional>
#include <vector>

#include "zarn/platform/RunLoop.h"
#include "zarn/platform/TimeSource.h"

namespace zarn::platform {

// Time that moves only when a test says so. advanceBy() fires the due timers of every run
// loop in time order, each on its own loop's thread, and between firings waits until every
// loop that has a runner and every piece of outside work is idle. A loop that nobody runs
// counts as idle (its tasks wait), except the main loop when the caller is the main thread:
// then the caller runs the main loop's tasks itself.
class VirtualTimeSource final : public TimeSource {
  public:
    explicit VirtualTimeSource(Date start, long timeZoneOffsetSeconds = 0);

    Date now() override;
    long timeZoneOffsetSeconds(Date date) override;
    bool drivesTimers() const override { return true; }
    void wait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
              std::optional<Date> deadline) override;

    void attach(const std::shared_ptr<RunLoop>& loop) override;
    void detach(const RunLoop* loop) override;
    void noteActivity() override;
    void outsideWorkBegan() override;
    void outsideWorkEnded() override;

    // Moves time forward by `seconds` (never back), firing what falls due on the way.
    void advanceBy(double seconds);
    // Waits until everything is idle without moving time.
    void runUntilIdle();

    // A fixed offset, or a rule giving the offset at a date (daylight-saving changes).
    void setTimeZoneOffset(long seconds);
    void setTimeZoneRule(std::function<long(Date)> rule);

  private:
    bool allIdle();
    std::vector<std::shared_ptr<RunLoop>> loops();

    std::mutex mutex_;
    std::condition_variable cv_;
    Date now_;
    std::function<long(Date)> zoneRule_;
    uint64_t epoch_ = 0;
    int outside_ = 0;
    std::vector<std::pair<const RunLoop*, std::weak_ptr<RunLoop>>> loops_;
};

}  // namespace zarn::platform
