#pragma once
#include <atomic>
#include <cstdint>

namespace zarn {

// Checks that an object's methods run on one sequence: the SDK thread (every SDK thread counts
// as one, so a thread restarted after its fifth exception is the same sequence), or else the one
// other thread that called first. Stores and services call ZARN_CHECK_SEQUENCE on entry. The
// check is compiled in when ZARN_SEQUENCE_CHECKS is defined (the asan and tsan presets); a call
// from a second sequence logs an ERROR line and aborts.
class ZarnPSequenceChecker {
  public:
    ZarnPSequenceChecker() = default;
    ZarnPSequenceChecker(const ZarnPSequenceChecker&) = delete;
    ZarnPSequenceChecker& operator=(const ZarnPSequenceChecker&) = delete;

    // Binds on the first call; true while every call comes from the bound sequence.
    bool calledOnValidSequence() const;
    // The next call binds anew (an object handed from one owner to another on purpose).
    void detach() { bound_.store(0, std::memory_order_relaxed); }

    // Marks the calling thread as an SDK thread for as long as it runs.
    static void markSdkThread();
    static bool isSdkThread();

  private:
    mutable std::atomic<std::uint64_t> bound_{0};
};

namespace detail {
[[noreturn]] void sequenceCheckFailed(const char* where, const char* file, int line);
}

}  // namespace zarn

#ifdef ZARN_SEQUENCE_CHECKS
#define ZARN_CHECK_SEQUENCE(checker)                                           \
    do {                                                                       \
        if (!(checker).calledOnValidSequence())                                \
            ::zarn::detail::sequenceCheckFailed(__func__, __FILE__, __LINE__); \
    } while (0)
#else
#define ZARN_CHECK_SEQUENCE(checker) \
    do {                             \
    } while (0)
#endif
