#include "core/ZarnPMainThreadWatch.h"

#include <atomic>

#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "zarn/platform/RunLoop.h"

namespace zarn {

namespace {
// The clock's dates are doubles near 2e9 seconds: a timer due at exactly the patience may find
// a hair less of it gone.
constexpr double kSlack = 1e-3;
}  // namespace

// Marks its hop as started once: when the hop runs, or when its last copy goes unrun.
class ZarnPMainThreadWatch::Ticket {
  public:
    Ticket(std::weak_ptr<ZarnPMainThreadWatch> watch, uint64_t id) : watch_(std::move(watch)), id_(id) {}
    ~Ticket() { start(); }
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;

    void start() {
        if (started_.exchange(true))
            return;
        if (auto watch = watch_.lock())
            watch->started(id_);
    }

  private:
    const std::weak_ptr<ZarnPMainThreadWatch> watch_;
    const uint64_t id_;
    std::atomic<bool> started_{false};
};

ZarnPMainThreadWatch::ZarnPMainThreadWatch(std::shared_ptr<platform::RunLoop> checkLoop)
    : checkLoop_(std::move(checkLoop)) {
    ZARN_REQUIRE(checkLoop_);
}

ZarnPMainThreadWatch::~ZarnPMainThreadWatch() {
    MutexLock lk(mutex_);
    if (timer_)
        timer_->invalidate();
}

std::function<void()> ZarnPMainThreadWatch::track(std::function<void()> block) {
    bool arming = false;
    uint64_t id;
    {
        MutexLock lk(mutex_);
        id = nextTicket_++;
        waiting_.emplace(id, checkLoop_->timeSource()->now());
        arming = !warned_ && !armed_;
        armed_ = armed_ || arming;
    }
    if (arming)
        arm(kPatience);
    auto ticket = std::make_shared<Ticket>(weak_from_this(), id);
    return [ticket = std::move(ticket), block = std::move(block)] {
        ticket->start();
        if (block)
            block();
    };
}

bool ZarnPMainThreadWatch::hasWarned() {
    MutexLock lk(mutex_);
    return warned_;
}

void ZarnPMainThreadWatch::started(uint64_t ticket) {
    MutexLock lk(mutex_);
    waiting_.erase(ticket);
}

void ZarnPMainThreadWatch::arm(double seconds) {
    std::weak_ptr<ZarnPMainThreadWatch> weak = weak_from_this();
    auto timer = checkLoop_->addTimer(seconds, false, [weak] {
        if (auto self = weak.lock())
            self->check();
    });
    MutexLock lk(mutex_);
    timer_ = std::move(timer);
}

void ZarnPMainThreadWatch::check() {
    double rest;
    {
        MutexLock lk(mutex_);
        armed_ = false;
        if (warned_ || waiting_.empty())
            return;
        double waited = timeIntervalBetween(checkLoop_->timeSource()->now(), waiting_.begin()->second);
        if (waited < kPatience - kSlack) {
            rest = kPatience - waited;
            armed_ = true;
        } else {
            warned_ = true;
            rest = 0;
        }
    }
    if (rest > 0) {
        arm(rest);
        return;
    }
    // The entry's domain, beside its other lines about how the host uses the library.
    LogWarn("Zarn",
            "Work posted to the main thread has waited %d seconds without running: the host must run "
            "zarn::platform::RunLoop::main() on the thread it marked as main (zarn/platform/Platform.h)",
            static_cast<int>(kPatience));
}

}  // namespace zarn
