#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/Mutex.h"
#include "zarn/platform/RunLoop.h"

namespace zarn {

namespace platform {
class Application;
class TimeSource;
}  // namespace platform

class ZarnPMainThreadWatch;

// Owns the SDK thread: starts it on the first hop, re-posts calls onto it (waiting or not),
// posts calls to the main thread, and creates run-loop timers. The run loop belongs to this
// object and outlives the thread: after the fifth exception that escapes a task the thread
// ends ("Finished runloop"), and the next hop starts a new thread that serves what was queued.
// A hop to the main thread that the host leaves waiting for 10 s is said once, at WARN
// (ZarnPMainThreadWatch). Every method is safe from any thread.
class ZarnPSystemTimerDao : public std::enable_shared_from_this<ZarnPSystemTimerDao> {
  public:
    using Block = std::function<void()>;

    // The time source of the SDK loop and the host's main run loop are required; the
    // application (for the keep-alive's diagnostic line) may be absent.
    ZarnPSystemTimerDao(std::shared_ptr<platform::TimeSource> timeSource,
                        std::shared_ptr<platform::RunLoop> mainRunLoop,
                        std::shared_ptr<platform::Application> application);
    // Stops and joins the SDK thread; queued tasks are dropped, releasing waiting callers.
    ~ZarnPSystemTimerDao();
    ZarnPSystemTimerDao(const ZarnPSystemTimerDao&) = delete;
    ZarnPSystemTimerDao& operator=(const ZarnPSystemTimerDao&) = delete;

    // Runs the block on the SDK thread. Waiting from the SDK thread itself runs it inline; not
    // waiting always queues it behind the current pass. A waiting caller is released when the
    // block has run, has thrown, or has been dropped.
    void invokeBlockOnRunLoop(Block block, bool waitUntilDone);
    // Runs the block on the main thread; waiting from the main thread runs it inline.
    void invokeBlockOnMainThread(Block block, bool waitUntilDone);
    void invokeBlock(const Block& block);

    // The selector forms: target->*selector(object) on the SDK or main thread. The hop keeps
    // the target alive until it has run.
    template <typename T, typename M, typename... A>
    void invokeSelectorOnRunLoop(M selector, std::shared_ptr<T> target, bool waitUntilDone, A... object) {
        invokeBlockOnRunLoop(
            [selector, target = std::move(target), object...]() mutable { ((*target).*selector)(object...); },
            waitUntilDone);
    }
    template <typename T, typename M, typename... A>
    void invokeSelectorOnMainThread(M selector, std::shared_ptr<T> target, bool waitUntilDone, A... object) {
        invokeBlockOnMainThread(
            [selector, target = std::move(target), object...]() mutable { ((*target).*selector)(object...); },
            waitUntilDone);
    }

    // Schedules a timer on the calling thread's run loop (the SDK loop for a thread without
    // one), logging "Scheduled timer for: <target>, interval: <seconds>". The caller keeps the
    // timer and invalidates it to stop it.
    std::shared_ptr<platform::Timer> scheduledTimerWithTimeInterval(double interval,
                                                                    const std::string& targetName,
                                                                    Block callback, bool repeats);

    // Keep-alive callback (every 30 s) and its diagnostic line.
    void tick();
    void logInfo();

    // Whether the calling thread is the SDK thread.
    bool isRunThread() const;
    bool hasRunThread() const;
    const std::shared_ptr<platform::RunLoop>& runLoop() const { return runLoop_; }

  private:
    void ensureThread();
    void runThread();

    std::shared_ptr<platform::TimeSource> timeSource_;
    std::shared_ptr<platform::RunLoop> mainRunLoop_;
    std::shared_ptr<platform::Application> application_;
    std::shared_ptr<platform::RunLoop> runLoop_;
    std::shared_ptr<ZarnPMainThreadWatch> mainWatch_;
    mutable Mutex mutex_;
    std::condition_variable started_;
    std::thread thread_ ZARN_GUARDED_BY(mutex_);
    std::thread::id runThreadId_ ZARN_GUARDED_BY(mutex_);  // empty while no SDK thread runs
    bool starting_ ZARN_GUARDED_BY(mutex_) = false;
    bool shuttingDown_ ZARN_GUARDED_BY(mutex_) = false;
    bool keepAliveScheduled_ ZARN_GUARDED_BY(mutex_) = false;
    std::shared_ptr<platform::Timer> keepAlive_ ZARN_GUARDED_BY(mutex_);
};

}  // namespace zarn
