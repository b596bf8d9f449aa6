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
    // Keeps the answer unless one came before, and wakes whoever waits.
    void give(const T& answer) ZARN_EXCLUDES(mutex_) {
        {
            MutexLock lk(mutex_);
            if (!answer_)
                answer_ = answer;
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
