#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "zarn/platform/TimeSource.h"

namespace zarn::platform {

class RunLoop;

// A run-loop timer. Fires on the thread that runs its loop; invalidate() may be called from
// any thread and stops every later firing.
class Timer {
  public:
    Timer(double interval, bool repeats, std::function<void()> callback, Date fireDate, uint64_t sequence);

    void invalidate() { valid_.store(false); }
    bool isValid() const { return valid_.load(); }
    double timeInterval() const { return interval_; }
    bool repeats() const { return repeats_; }
    Date fireDate() const;

  private:
    friend class RunLoop;
    const double interval_;
    const bool repeats_;
    std::function<void()> callback_;
    std::atomic<bool> valid_{true};
    mutable std::mutex mutex_;
    Date fireDate_;
    uint64_t sequence_;
    bool firePending_ = false;  // guarded by the owning loop's mutex
};

// A serial queue of tasks plus timers, run by one thread at a time. The object outlives any
// thread that runs it: tasks and timers queued while no thread runs it wait for the next one.
// post(), addTimer() and stop() are safe from any thread; runOnce() and run() belong to the
// thread that runs the loop.
class RunLoop : public std::enable_shared_from_this<RunLoop> {
  public:
    using Task = std::function<void()>;

    static std::shared_ptr<RunLoop> create(std::shared_ptr<TimeSource> time, std::string name);
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    const std::string& name() const { return name_; }
    const std::shared_ptr<TimeSource>& timeSource() const { return time_; }

    // Queues a task behind everything already queued. Any thread; never waits for the runner.
    void post(Task task);

    // Tells a host that work is waiting, so that a UI toolkit's loop can run this one without
    // polling. The handler is called on the thread that posts a task or adds a timer, after
    // the work is queued; it must return quickly, must not throw and must not run this loop
    // itself (it may post to the toolkit). The host then, on the loop's thread, calls
    // runOnce(timeSource()->now()) until it answers false, and arms a toolkit timer for
    // earliestTimer()'s fire date, if any. Null removes the handler. Any thread.
    using WakeUpHandler = std::function<void()>;
    void setWakeUpHandler(WakeUpHandler handler);

    // Schedules a timer `interval` seconds from now (a repeating interval of 0 or less becomes
    // 0.1 ms, as with the platform's timers). Any thread.
    std::shared_ptr<Timer> addTimer(double interval, bool repeats, std::function<void()> callback);

    // Runs one due timer or one task, waiting for one until `limit` (none: no limit; a limit of
    // now or earlier: no waiting). Answers whether something ran; an exception of the task
    // propagates to the caller, and the task is gone. Answers false at once after stop().
    bool runOnce(std::optional<Date> limit = std::nullopt);

    // Runs until stop().
    void run();

    // Wakes the runner; runOnce() and run() return from then on until resume().
    void stop();
    void resume();
    bool isStopped() const { return stopped_.load(); }

    // Drops every queued task (their destructors run) and every timer.
    void clear();

    // The host's main loop, the same as platform::mainRunLoop(). The host runs it on the thread
    // it marked as main (platform::markMainThread()), for the life of the library: run(), or
    // runOnce() from a UI toolkit's loop as setWakeUpHandler() says. Every call into the app and
    // every main-thread platform call waits there; work left waiting 10 s is said once, in a
    // WARN line of the "Zarn" domain that names this loop (Platform.h gives it). Any thread.
    static std::shared_ptr<RunLoop> main();

    // The loop run by the calling thread: the one whose runOnce/run is on the stack, or the one
    // a RunnerScope set, or the main loop on the main thread; null otherwise. The pointer is only
    // borrowed: to keep the loop, for posting to it later (as a location manager posts to the
    // loop of the thread that created it), take current()->shared_from_this(), and main() on a
    // thread that runs no loop.
    static RunLoop* current();
    bool isCurrent() const { return current() == this; }

    // Marks the calling thread as this loop's runner for the scope's lifetime.
    class RunnerScope {
      public:
        explicit RunnerScope(RunLoop& loop);
        ~RunnerScope();
        RunnerScope(const RunnerScope&) = delete;
        RunnerScope& operator=(const RunnerScope&) = delete;

      private:
        RunLoop& loop_;
        RunLoop* previous_;
    };

    // For the virtual time source.
    bool hasRunner() const { return runners_.load() > 0; }
    bool isIdle();
    // The earliest valid timer, if any, with its fire date.
    std::shared_ptr<Timer> earliestTimer();
    // Queues the firing of `timer` as a task (the virtual source drives timers this way).
    void postTimerFire(std::shared_ptr<Timer> timer);

    size_t timerCount();

  private:
    RunLoop(std::shared_ptr<TimeSource> time, std::string name);
    void fire(const std::shared_ptr<Timer>& timer);
    void pruneTimersLocked();
    void wakeUp(const std::shared_ptr<const WakeUpHandler>& handler);

    const std::shared_ptr<TimeSource> time_;
    const std::string name_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Task> tasks_;
    std::vector<std::shared_ptr<Timer>> timers_;
    std::shared_ptr<const WakeUpHandler> wakeUp_;  // guarded by mutex_
    std::atomic<bool> stopped_{false};
    std::atomic<int> runners_{0};
    bool executing_ = false;
    uint64_t timerSequence_ = 0;
};

}  // namespace zarn::platform
