#pragma once
#include <memory>
#include <string>
#include <utility>

#include "core/ZarnPSystemTimerDao.h"
#include "zarn/platform/NotificationCenter.h"

namespace zarn {

// Every hop of the facade's roads goes through here: a step posted to the SDK thread or the
// main thread, a timer callback or a broadcast observer runs only while the facade lives and
// keeps it alive while it runs; for a facade that is gone it is dropped. Since the facade owns
// its roads, a step may reach its road through `this`. The facade binds itself once, before
// its first hop; everything else is safe from any thread.
class ZarnPFacadeHops {
  public:
    ZarnPFacadeHops(std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                    std::shared_ptr<platform::NotificationCenter> center)
        : timerDao_(std::move(timerDao)), center_(std::move(center)) {}
    ZarnPFacadeHops(const ZarnPFacadeHops&) = delete;
    ZarnPFacadeHops& operator=(const ZarnPFacadeHops&) = delete;

    void bind(std::weak_ptr<void> facade) { facade_ = std::move(facade); }

    // `f`, run only while the facade lives.
    template <typename F>
    auto guarded(F f) const {
        return [facade = facade_, f = std::move(f)](auto&&... args) mutable {
            if (auto keep = facade.lock())
                f(std::forward<decltype(args)>(args)...);
        };
    }

    // Posted without waiting.
    template <typename F>
    void inRunLoop(F f) const {
        timerDao_->invokeBlockOnRunLoop(guarded(std::move(f)), false);
    }
    template <typename F>
    void onMainThread(F f) const {
        timerDao_->invokeBlockOnMainThread(guarded(std::move(f)), false);
    }
    // Runs `f` on the SDK thread and waits for it (inline from the SDK thread itself); the
    // facade is held until the step has run or been dropped.
    template <typename F>
    void inRunLoopWaiting(F f) const {
        auto keep = facade_.lock();
        if (!keep)
            return;
        timerDao_->invokeBlockOnRunLoop([keep, &f] { f(); }, true);
    }

    // Observes `name` on the default centre for `owner`, while the facade lives.
    template <typename F>
    void observe(const void* owner, const std::string& name, F f) const {
        center_->addObserver(owner, name, guarded(std::move(f)));
    }
    void stopObserving(const void* owner) const { center_->removeObserver(owner); }
    // Posts `name` with the facade as its object.
    void broadcast(const std::string& name) const { center_->post(name, facade_.lock()); }

  private:
    const std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    const std::shared_ptr<platform::NotificationCenter> center_;
    std::weak_ptr<void> facade_;
};

}  // namespace zarn
