#include "core/ZarnPSystemTimerDao.h"

#include <chrono>

#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPMainThreadWatch.h"
#include "core/ZarnPSequenceChecker.h"
#include "zarn/platform/Application.h"
#include "zarn/platform/Platform.h"

namespace zarn {

namespace {

// Releases a waiting caller when the last copy of the task that carries it is destroyed:
// after the task ran, after it threw, or when it was dropped unrun.
class Completion {
  public:
    void signal() {
        {
            MutexLock lk(mutex_);
            done_ = true;
        }
        cv_.notify_all();
    }
    void wait() {
        UniqueMutexLock lk(mutex_);
        lk.wait(cv_, [&]() ZARN_REQUIRES(mutex_) { return done_; });
    }

  private:
    Mutex mutex_;
    std::condition_variable cv_;
    bool done_ ZARN_GUARDED_BY(mutex_) = false;
};

struct CompletionGuard {
    std::shared_ptr<Completion> completion;
    explicit CompletionGuard(std::shared_ptr<Completion> c) : completion(std::move(c)) {}
    ~CompletionGuard() { completion->signal(); }
};

// Posts the block to `loop`; with `wait`, blocks until it has run, thrown or been dropped.
void postAndMaybeWait(platform::RunLoop& loop, ZarnPSystemTimerDao::Block block, bool wait) {
    if (!wait) {
        loop.post(std::move(block));
        return;
    }
    auto completion = std::make_shared<Completion>();
    auto guard = std::make_shared<CompletionGuard>(completion);
    loop.post([block = std::move(block), guard = std::move(guard)] { block(); });
    completion->wait();
}

}  // namespace

ZarnPSystemTimerDao::ZarnPSystemTimerDao(std::shared_ptr<platform::TimeSource> timeSource,
                                         std::shared_ptr<platform::RunLoop> mainRunLoop,
                                         std::shared_ptr<platform::Application> application)
    : timeSource_(std::move(timeSource)),
      mainRunLoop_(std::move(mainRunLoop)),
      application_(std::move(application)),
      runLoop_(platform::RunLoop::create(timeSource_, "sdk")),
      mainWatch_(std::make_shared<ZarnPMainThreadWatch>(runLoop_)) {
    ZARN_REQUIRE(timeSource_);
    ZARN_REQUIRE(mainRunLoop_);
}

ZarnPSystemTimerDao::~ZarnPSystemTimerDao() {
    std::thread thread;
    {
        MutexLock lk(mutex_);
        shuttingDown_ = true;
        thread = std::move(thread_);
    }
    runLoop_->stop();
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    if (keepAlive_)
        keepAlive_->invalidate();
    runLoop_->clear();
}

bool ZarnPSystemTimerDao::isRunThread() const {
    MutexLock lk(mutex_);
    return runThreadId_ != std::thread::id() && runThreadId_ == std::this_thread::get_id();
}

bool ZarnPSystemTimerDao::hasRunThread() const {
    MutexLock lk(mutex_);
    return runThreadId_ != std::thread::id();
}

void ZarnPSystemTimerDao::ensureThread() {
    UniqueMutexLock lk(mutex_);
    if (shuttingDown_)
        return;
    if (runThreadId_ != std::thread::id())
        return;
    if (!starting_) {
        starting_ = true;
        // A thread that ended after its fifth exception has returned; reap it first.
        if (thread_.joinable()) {
            std::thread old = std::move(thread_);
            lk.unlock();
            old.join();
            lk.lock();
        }
        thread_ = std::thread([this] { runThread(); });
    }
    lk.wait(started_,
            [&]() ZARN_REQUIRES(mutex_) { return runThreadId_ != std::thread::id() || shuttingDown_; });
}

void ZarnPSystemTimerDao::invokeBlockOnRunLoop(Block block, bool waitUntilDone) {
    if (waitUntilDone && isRunThread()) {
        block();
        return;
    }
    ensureThread();
    postAndMaybeWait(*runLoop_, std::move(block), waitUntilDone);
}

void ZarnPSystemTimerDao::invokeBlockOnMainThread(Block block, bool waitUntilDone) {
    if (waitUntilDone && platform::isMainThread()) {
        block();
        return;
    }
    postAndMaybeWait(*mainRunLoop_, mainWatch_->track(std::move(block)), waitUntilDone);
}

void ZarnPSystemTimerDao::invokeBlock(const Block& block) {
    if (block)
        block();
}

std::shared_ptr<platform::Timer> ZarnPSystemTimerDao::scheduledTimerWithTimeInterval(
    double interval, const std::string& targetName, Block callback, bool repeats) {
    LogDebug("TimerDao", "Scheduled timer for: %@, interval: %f", targetName, interval);
    platform::RunLoop* loop = platform::RunLoop::current();
    if (!isRunThread())
        LogInfo("TimerDao", "Scheduled timer, but not running on designated thread!");
    if (!loop)
        loop = runLoop_.get();
    return loop->addTimer(interval, repeats, std::move(callback));
}

void ZarnPSystemTimerDao::runThread() {
    // Held by the thread: when a task of this thread drops the last reference to this object,
    // the destructor detaches the thread and the loop must outlive the pass still on the stack.
    // Once the loop is stopped, nothing here touches this object again.
    const std::shared_ptr<platform::RunLoop> loop = runLoop_;
    platform::RunLoop::RunnerScope scope(*loop);
    ZarnPSequenceChecker::markSdkThread();
    {
        MutexLock lk(mutex_);
        runThreadId_ = std::this_thread::get_id();
        starting_ = false;
    }
    started_.notify_all();

    bool scheduleKeepAlive;
    {
        MutexLock lk(mutex_);
        scheduleKeepAlive = !keepAliveScheduled_;
        keepAliveScheduled_ = true;
    }
    // The loop outlives this thread, so a restarted thread keeps the one keep-alive timer.
    if (scheduleKeepAlive) {
        auto timer = scheduledTimerWithTimeInterval(
            30.0, "ZarnPSystemTimerDao", [this] { tick(); }, true);
        MutexLock lk(mutex_);
        keepAlive_ = timer;
    }

    int failures = 0;
    while (failures < 5) {
        try {
            if (loop->isStopped())
                return;
            if (!loop->runOnce()) {
                if (loop->isStopped())
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                LogDebug("TimerDao", "RunLoop step failed");
            }
        } catch (const std::exception& e) {
            ++failures;
            LogError("Zarn", "Unhandled exception: %@", e.what());
        } catch (...) {
            ++failures;
            LogError("Zarn", "Unhandled exception: %@", "unknown exception");
        }
    }
    if (failures >= 5)
        LogError("TimerDao", "Finished runloop");
    MutexLock lk(mutex_);
    runThreadId_ = std::thread::id();
}

void ZarnPSystemTimerDao::tick() {
    platform::RunLoop* loop = platform::RunLoop::current();
    if (!loop)
        loop = runLoop_.get();
    loop->post([this] { logInfo(); });
}

void ZarnPSystemTimerDao::logInfo() {
    if (!IsLogDebugEnabled("TimerDao"))
        return;
    if (!platform::isMainThread()) {
        // The main loop outlives this object: the hop holds it only weakly.
        std::weak_ptr<ZarnPSystemTimerDao> weak = weak_from_this();
        if (weak.expired())
            return;
        invokeBlockOnMainThread(
            [weak] {
                if (auto self = weak.lock())
                    self->logInfo();
            },
            false);
        return;
    }
    auto& app = application_;
    if (!app)
        return;
    double left = app->backgroundTimeRemaining();
    std::string time = left > 1e7 ? std::string("inf") : format("%f", left);
    std::string state;
    switch (app->applicationState()) {
        case platform::ApplicationState::Active:
            state = "Active";
            break;
        case platform::ApplicationState::Inactive:
            state = "Inactive";
            break;
        default:
            state = "Background";
            break;
    }
    LogDebug("TimerDao", "Timeleft: %@ - State: %@", time, state);
}

}  // namespace zarn
