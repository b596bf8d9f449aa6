#pragma once
#include <cstdint>
#include <functional>
#include <optional>

namespace zarn::platform {

// The system's identifier of a background task; an unsigned integer of the platform's word size.
using BackgroundTaskIdentifier = std::uintptr_t;
// What beginBackgroundTask answers when the system grants no task.
inline constexpr BackgroundTaskIdentifier kBackgroundTaskInvalid = 0;

// The user's setting for background execution of the app.
enum class BackgroundRefreshStatus : int { Restricted = 0, Denied = 1, Available = 2 };

// Background execution: tasks that ask the system to keep the process running while the app is
// in the background. Copying is not allowed.
class BackgroundTasks {
  public:
    virtual ~BackgroundTasks() = default;
    BackgroundTasks() = default;
    BackgroundTasks(const BackgroundTasks&) = delete;
    BackgroundTasks& operator=(const BackgroundTasks&) = delete;

    // Begins a task. Any thread. Answers its identifier, or kBackgroundTaskInvalid when the system
    // grants none (then the handler is never called). The system calls `expirationHandler` at most
    // once, on the main thread, when background time is about to run out; the task must then be
    // ended before the time left (Application::backgroundTimeRemaining) reaches zero, or the system
    // may end the process.
    virtual BackgroundTaskIdentifier beginBackgroundTask(std::function<void()> expirationHandler) = 0;

    // Ends a task. Any thread. Ending an identifier that is unknown or already ended is a
    // programming error that the system reports and otherwise ignores.
    virtual void endBackgroundTask(BackgroundTaskIdentifier identifier) = 0;

    // The user's background-refresh setting, or nothing on a system without one. Main thread only.
    virtual std::optional<BackgroundRefreshStatus> backgroundRefreshStatus() = 0;
};

}  // namespace zarn::platform
