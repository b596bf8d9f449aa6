#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

// Locks the compiler can check. clang's thread-safety analysis (-Wthread-safety) reads these
// annotations and reports a guarded member touched without its mutex, a function that needs a
// mutex called without it, and a lock left held; other compilers see nothing. The annotated
// types cost nothing over std::mutex.
#if defined(__clang__)
#define ZARN_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZARN_THREAD_ANNOTATION(x)
#endif

// A type that is a lock.
#define ZARN_CAPABILITY(name) ZARN_THREAD_ANNOTATION(capability(name))
// A guard object that holds a lock for its lifetime.
#define ZARN_SCOPED_CAPABILITY ZARN_THREAD_ANNOTATION(scoped_lockable)
// A member read or written only with the mutex held.
#define ZARN_GUARDED_BY(mutex) ZARN_THREAD_ANNOTATION(guarded_by(mutex))
// A function called with the mutex held, which it keeps held.
#define ZARN_REQUIRES(...) ZARN_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// A function called without the mutex held (it takes the mutex itself).
#define ZARN_EXCLUDES(...) ZARN_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function that takes the mutex and returns with it held.
#define ZARN_ACQUIRE(...) ZARN_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// A function that lets go of the mutex.
#define ZARN_RELEASE(...) ZARN_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace zarn {

// A standard mutex as a capability the analysis knows.
template <typename StdMutex>
class ZARN_CAPABILITY("mutex") BasicMutex {
  public:
    BasicMutex() = default;
    BasicMutex(const BasicMutex&) = delete;
    BasicMutex& operator=(const BasicMutex&) = delete;

    void lock() ZARN_ACQUIRE() { mutex_.lock(); }
    void unlock() ZARN_RELEASE() { mutex_.unlock(); }

  private:
    friend class UniqueMutexLock;
    StdMutex mutex_;
};
// Not recursive: taking it twice on one thread deadlocks.
using Mutex = BasicMutex<std::mutex>;
// For the one path that must take its lock again from inside (see its user). The analysis does
// not model the re-entry itself.
using RecursiveMutex = BasicMutex<std::recursive_mutex>;

// Holds a mutex from construction to the end of the scope (std::lock_guard).
template <typename M>
class ZARN_SCOPED_CAPABILITY BasicMutexLock {
  public:
    explicit BasicMutexLock(M& mutex) ZARN_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~BasicMutexLock() ZARN_RELEASE() { mutex_.unlock(); }
    BasicMutexLock(const BasicMutexLock&) = delete;
    BasicMutexLock& operator=(const BasicMutexLock&) = delete;

  private:
    M& mutex_;
};
using MutexLock = BasicMutexLock<Mutex>;
using RecursiveMutexLock = BasicMutexLock<RecursiveMutex>;

// Holds a mutex like MutexLock, and may let go of it and take it again inside the scope, or wait
// on a condition variable (std::unique_lock). A predicate reads guarded members with the mutex
// held; say so to the analysis by giving the lambda ZARN_REQUIRES(the mutex).
class ZARN_SCOPED_CAPABILITY UniqueMutexLock {
  public:
    explicit UniqueMutexLock(Mutex& mutex) ZARN_ACQUIRE(mutex) : lock_(mutex.mutex_) {}
    ~UniqueMutexLock() ZARN_RELEASE() {}
    UniqueMutexLock(const UniqueMutexLock&) = delete;
    UniqueMutexLock& operator=(const UniqueMutexLock&) = delete;

    void lock() ZARN_ACQUIRE() { lock_.lock(); }
    void unlock() ZARN_RELEASE() { lock_.unlock(); }

    // Waits until `done` answers true, letting go of the mutex meanwhile; holds it on return.
    template <typename Predicate>
    void wait(std::condition_variable& cv, Predicate done) {
        cv.wait(lock_, std::move(done));
    }
    // The same for at most `timeout`; answers what `done` answered last.
    template <typename Rep, typename Period, typename Predicate>
    bool waitFor(std::condition_variable& cv, const std::chrono::duration<Rep, Period>& timeout,
                 Predicate done) {
        return cv.wait_for(lock_, timeout, std::move(done));
    }

  private:
    std::unique_lock<std::mutex> lock_;
};

}  // namespace zarn
