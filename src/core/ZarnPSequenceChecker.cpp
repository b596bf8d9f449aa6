#include "core/ZarnPSequenceChecker.h"

#include <cstdlib>
#include <functional>
#include <thread>

#include "core/ZarnPLogger.h"

namespace zarn {

namespace {
thread_local bool tlsSdkThread = false;
// Every SDK thread is one sequence; other threads are told apart by id (never 0 or 1).
constexpr std::uint64_t kSdkSequence = 1;

std::uint64_t currentSequence() {
    if (tlsSdkThread)
        return kSdkSequence;
    auto id = static_cast<std::uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    return id < 2 ? id + 2 : id;
}
}  // namespace

bool ZarnPSequenceChecker::calledOnValidSequence() const {
    std::uint64_t current = currentSequence();
    std::uint64_t expected = 0;
    if (bound_.compare_exchange_strong(expected, current, std::memory_order_relaxed))
        return true;
    return expected == current;
}

void ZarnPSequenceChecker::markSdkThread() {
    tlsSdkThread = true;
}

bool ZarnPSequenceChecker::isSdkThread() {
    return tlsSdkThread;
}

namespace detail {
void sequenceCheckFailed(const char* where, const char* file, int line) {
    LogError("SequenceChecker", "%@ called off its sequence (%@:%@)", where, file, line);
    std::abort();
}
}  // namespace detail

}  // namespace zarn
