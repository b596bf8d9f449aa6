#include "testing/VirtualTimeSource.h"

#include <algorithm>

#include "zarn/platform/Platform.h"

namespace zarn::platform {

VirtualTimeSource::VirtualTimeSource(Date start, long offset)
    : now_(start), zoneRule_([offset](Date) { return offset; }) {}

Date VirtualTimeSource::now() {
    std::lock_guard lk(mutex_);
    return now_;
}

long VirtualTimeSource::timeZoneOffsetSeconds(Date date) {
    std::function<long(Date)> rule;
    {
        std::lock_guard lk(mutex_);
        rule = zoneRule_;
    }
    return rule(date);
}

void VirtualTimeSource::setTimeZoneOffset(long seconds) {
    setTimeZoneRule([seconds](Date) { return seconds; });
}

void VirtualTimeSource::setTimeZoneRule(std::function<long(Date)> rule) {
    std::lock_guard lk(mutex_);
    zoneRule_ = std::move(rule);
}

void VirtualTimeSource::wait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                             std::optional<Date>) {
    cv.wait(lock);
}

void VirtualTimeSource::attach(const std::shared_ptr<RunLoop>& loop) {
    std::lock_guard lk(mutex_);
    loops_.emplace_back(loop.get(), loop);
    ++epoch_;
}

void VirtualTimeSource::detach(const RunLoop* loop) {
    {
        std::lock_guard lk(mutex_);
        std::erase_if(loops_, [loop](auto& e) { return e.first == loop; });
        ++epoch_;
    }
    cv_.notify_all();
}

void VirtualTimeSource::noteActivity() {
    {
        std::lock_guard lk(mutex_);
        ++epoch_;
    }
    cv_.notify_all();
}

void VirtualTimeSource::outsideWorkBegan() {
    std::lock_guard lk(mutex_);
    ++outside_;
    ++epoch_;
}

void VirtualTimeSource::outsideWorkEnded() {
    {
        std::lock_guard lk(mutex_);
        --outside_;
        ++epoch_;
    }
    cv_.notify_all();
}

std::vector<std::shared_ptr<RunLoop>> VirtualTimeSource::loops() {
    std::vector<std::shared_ptr<RunLoop>> out;
    std::lock_guard lk(mutex_);
    for (auto& e : loops_)
        if (auto l = e.second.lock())
            out.push_back(std::move(l));
    return out;
}

bool VirtualTimeSource::allIdle() {
    for (auto& loop : loops())
        if (loop->hasRunner() && !loop->isIdle())
            return false;
    return true;
}

void VirtualTimeSource::runUntilIdle() {
    for (;;) {
        if (isMainThread()) {
            if (auto main = mainRunLoop()) {
                RunLoop::RunnerScope scope(*main);
                while (main->runOnce(Date{})) {
                }
            }
        }
        uint64_t before;
        {
            std::lock_guard lk(mutex_);
            before = epoch_;
        }
        // A task posted to the main loop after it was drained: no other thread runs it.
        if (isMainThread())
            if (auto main = mainRunLoop(); main && !main->isIdle())
                continue;
        bool idle = allIdle();
        std::unique_lock lk(mutex_);
        if (idle && outside_ == 0 && epoch_ == before)
            return;
        if (epoch_ == before)
            cv_.wait(lk, [&] { return epoch_ != before; });
    }
}

void VirtualTimeSource::advanceBy(double seconds) {
    Date target;
    {
        std::lock_guard lk(mutex_);
        target = now_ + Seconds(std::max(0.0, seconds));
    }
    runUntilIdle();
    for (;;) {
        std::shared_ptr<RunLoop> loop;
        std::shared_ptr<Timer> timer;
        for (auto& l : loops()) {
            auto t = l->earliestTimer();
            if (t && (!timer || t->fireDate() < timer->fireDate())) {
                timer = t;
                loop = l;
            }
        }
        if (!timer || timer->fireDate() > target)
            break;
        {
            std::lock_guard lk(mutex_);
            now_ = std::max(now_, timer->fireDate());
        }
        loop->postTimerFire(timer);
        runUntilIdle();
    }
    {
        std::lock_guard lk(mutex_);
        now_ = std::max(now_, target);
        ++epoch_;
    }
    runUntilIdle();
}

}  // namespace zarn::platform
