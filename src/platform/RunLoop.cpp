#include "zarn/platform/RunLoop.h"

#include <algorithm>

#include "zarn/platform/Console.h"
#include "zarn/platform/Platform.h"

namespace zarn::platform {

namespace {
thread_local RunLoop* tlsCurrent = nullptr;

// Waiting on a real clock needs a representable deadline; "distant future" is clamped.
Date clampDeadline(Date d, Date now) {
    Date maxWait = now + Seconds(3600.0 * 24 * 365);
    return d > maxWait ? maxWait : d;
}
}  // namespace

Timer::Timer(double interval, bool repeats, std::function<void()> callback, Date fireDate, uint64_t sequence)
    : interval_(interval),
      repeats_(repeats),
      callback_(std::move(callback)),
      fireDate_(fireDate),
      sequence_(sequence) {}

Date Timer::fireDate() const {
    std::lock_guard lk(mutex_);
    return fireDate_;
}

std::shared_ptr<RunLoop> RunLoop::create(std::shared_ptr<TimeSource> time, std::string name) {
    std::shared_ptr<RunLoop> loop(new RunLoop(std::move(time), std::move(name)));
    loop->time_->attach(loop);
    return loop;
}

RunLoop::RunLoop(std::shared_ptr<TimeSource> time, std::string name)
    : time_(std::move(time)), name_(std::move(name)) {}

RunLoop::~RunLoop() {
    time_->detach(this);
}

void RunLoop::post(Task task) {
    std::shared_ptr<const WakeUpHandler> wake;
    {
        std::lock_guard lk(mutex_);
        tasks_.push_back(std::move(task));
        wake = wakeUp_;
    }
    cv_.notify_all();
    time_->noteActivity();
    wakeUp(wake);
}

void RunLoop::setWakeUpHandler(WakeUpHandler handler) {
    auto shared = handler ? std::make_shared<const WakeUpHandler>(std::move(handler)) : nullptr;
    std::lock_guard lk(mutex_);
    wakeUp_ = std::move(shared);
}

void RunLoop::wakeUp(const std::shared_ptr<const WakeUpHandler>& handler) {
    if (!handler)
        return;
    // The poster is library code that expects nothing from the host's handler, not even a throw.
    try {
        (*handler)();
    } catch (const std::exception& e) {
        console()->write("RunLoop " + name_ + ": the wake-up handler threw: " + e.what());
    } catch (...) {
        console()->write("RunLoop " + name_ + ": the wake-up handler threw");
    }
}

std::shared_ptr<Timer> RunLoop::addTimer(double interval, bool repeats, std::function<void()> callback) {
    if (repeats && !(interval > 0))
        interval = 0.0001;
    if (!(interval >= 0))
        interval = 0;
    std::shared_ptr<Timer> timer;
    std::shared_ptr<const WakeUpHandler> wake;
    {
        std::lock_guard lk(mutex_);
        timer = std::make_shared<Timer>(interval, repeats, std::move(callback),
                                        time_->now() + Seconds(interval), timerSequence_++);
        timers_.push_back(timer);
        wake = wakeUp_;
    }
    cv_.notify_all();
    time_->noteActivity();
    wakeUp(wake);
    return timer;
}

void RunLoop::pruneTimersLocked() {
    std::erase_if(timers_, [](const std::shared_ptr<Timer>& t) { return !t->isValid(); });
}

void RunLoop::fire(const std::shared_ptr<Timer>& timer) {
    if (!timer->isValid())
        return;
    timer->callback_();
    if (timer->repeats_ && timer->isValid()) {
        Date now = time_->now();
        std::lock_guard lk(timer->mutex_);
        do {
            timer->fireDate_ += Seconds(timer->interval_);
        } while (timer->fireDate_ <= now);
    } else {
        timer->invalidate();
        std::lock_guard lk(mutex_);
        pruneTimersLocked();
    }
}

bool RunLoop::runOnce(std::optional<Date> limit) {
    RunLoop* previous = tlsCurrent;
    tlsCurrent = this;
    struct Restore {
        RunLoop* p;
        ~Restore() { tlsCurrent = p; }
    } restore{previous};

    std::unique_lock lk(mutex_);
    for (;;) {
        if (stopped_.load())
            return false;
        Date now = time_->now();
        std::optional<Date> nextTimer;
        if (!time_->drivesTimers()) {
            pruneTimersLocked();
            std::shared_ptr<Timer> due;
            for (auto& t : timers_) {
                Date fd = t->fireDate();
                if (!nextTimer || fd < *nextTimer)
                    nextTimer = fd;
                if (fd <= now && (!due || fd < due->fireDate()))
                    due = t;
            }
            if (due) {
                executing_ = true;
                lk.unlock();
                struct Done {
                    RunLoop* loop;
                    ~Done() {
                        {
                            std::lock_guard g(loop->mutex_);
                            loop->executing_ = false;
                        }
                        loop->time_->noteActivity();
                    }
                } done{this};
                fire(due);
                return true;
            }
        }
        if (!tasks_.empty()) {
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            executing_ = true;
            lk.unlock();
            struct Done {
                RunLoop* loop;
                Task* task;
                ~Done() {
                    *task = nullptr;  // the task's captures die before the loop counts as idle
                    {
                        std::lock_guard g(loop->mutex_);
                        loop->executing_ = false;
                    }
                    loop->time_->noteActivity();
                }
            } done{this, &task};
            task();
            return true;
        }
        if (limit && *limit <= now)
            return false;
        std::optional<Date> deadline = limit;
        if (nextTimer && (!deadline || *nextTimer < *deadline))
            deadline = nextTimer;
        if (deadline)
            deadline = clampDeadline(*deadline, now);
        time_->wait(lk, cv_, deadline);
    }
}

void RunLoop::run() {
    RunnerScope scope(*this);
    while (!stopped_.load()) runOnce();
}

void RunLoop::stop() {
    stopped_.store(true);
    { std::lock_guard lk(mutex_); }
    cv_.notify_all();
    time_->noteActivity();
}

void RunLoop::resume() {
    stopped_.store(false);
}

void RunLoop::clear() {
    std::deque<Task> dropped;
    std::vector<std::shared_ptr<Timer>> timers;
    {
        std::lock_guard lk(mutex_);
        dropped.swap(tasks_);
        timers.swap(timers_);
    }
    for (auto& t : timers) t->invalidate();
    dropped.clear();
    time_->noteActivity();
}

std::shared_ptr<RunLoop> RunLoop::main() {
    return mainRunLoop();
}

RunLoop* RunLoop::current() {
    if (tlsCurrent)
        return tlsCurrent;
    if (isMainThread())
        return mainRunLoop().get();
    return nullptr;
}

RunLoop::RunnerScope::RunnerScope(RunLoop& loop) : loop_(loop), previous_(tlsCurrent) {
    tlsCurrent = &loop;
    loop_.runners_.fetch_add(1);
    loop_.time_->noteActivity();
}

RunLoop::RunnerScope::~RunnerScope() {
    tlsCurrent = previous_;
    loop_.runners_.fetch_sub(1);
    loop_.time_->noteActivity();
}

bool RunLoop::isIdle() {
    std::lock_guard lk(mutex_);
    return tasks_.empty() && !executing_;
}

std::shared_ptr<Timer> RunLoop::earliestTimer() {
    std::lock_guard lk(mutex_);
    pruneTimersLocked();
    std::shared_ptr<Timer> best;
    Date bestDate{};
    for (auto& t : timers_) {
        if (t->firePending_)
            continue;
        Date fd = t->fireDate();
        if (!best || fd < bestDate || (fd == bestDate && t->sequence_ < best->sequence_)) {
            best = t;
            bestDate = fd;
        }
    }
    return best;
}

void RunLoop::postTimerFire(std::shared_ptr<Timer> timer) {
    {
        std::lock_guard lk(mutex_);
        timer->firePending_ = true;
    }
    post([self = weak_from_this(), timer] {
        auto loop = self.lock();
        if (!loop)
            return;
        {
            std::lock_guard lk(loop->mutex_);
            timer->firePending_ = false;
        }
        loop->fire(timer);
    });
}

size_t RunLoop::timerCount() {
    std::lock_guard lk(mutex_);
    pruneTimersLocked();
    return timers_.size();
}

}  // namespace zarn::platform
