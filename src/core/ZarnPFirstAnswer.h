#pragma once
#include <chrono>
#include <condition_variable>
#include <optional>

#include "platform/Mutex.h"

namespace zarn {

// The first of several answers, and a bounded wait for it. Any thread.
template <typename T>
class ZarnPFirstAnswer {
  public:
    // Keeps what `make` returns unless an answer came before (`make` then does not run), and
    // wakes whoever waits.
    template <typename Make>
    void give(Make make) ZARN_EXCLUDES(mutex_) {
        {
            MutexLock lk(mutex_);
            if (!answer_)
                answer_ = make();
        }
        answered_.notify_all();
    }

    // The answer at once when there is one, else waits up to `timeout` for it.
    std::optional<T> waitFor(std::chrono::milliseconds timeout) ZARN_EXCLUDES(mutex_) {
        UniqueMutexLock lk(mutex_);
        lk.waitFor(answered_, timeout, [&]() ZARN_REQUIRES(mutex_) { return answer_.has_value(); });
        return answer_;
    }

  private:
    Mutex mutex_;
    std::condition_variable answered_;
    std::optional<T> answer_ ZARN_GUARDED_BY(mutex_);
};

}  // namespace zarn
