#pragma once
#include <map>
#include <memory>
#include <set>

#include "device/system/ZarnPBackgroundTaskDao.h"
#include "platform/Mutex.h"
#include "zarn/platform/BackgroundTasks.h"

namespace zarn {

namespace platform {
class Application;
class Timer;
}  // namespace platform

class ZarnPKillHandler;
class ZarnPSystemTimerDao;

// Background tasks over the platform. When the system announces that background time runs
// out, a task with 2 s or less left is ended at once and one with at most 10 s left 1.25 s
// later, so that the process is never killed for an overdue task.
//
// Tasks are started from any thread (the syncs of the app leaving the foreground begin theirs
// on the main thread) and their handles released on the SDK thread; the expiration handler and
// the kill timers run on the main thread. The kill-timer table and the set of running tasks are
// guarded by one lock, so either side may end a task; the second end of a task does nothing.
class ZarnPSystemBackgroundTaskDao final : public ZarnPBackgroundTaskDao,
                                           public std::enable_shared_from_this<ZarnPSystemBackgroundTaskDao> {
  public:
    static constexpr double kKillNowSeconds = 2.0;
    static constexpr double kScheduleKillSeconds = 10.0;
    static constexpr double kKillDelaySeconds = 1.25;

    // Null platform objects mean the installed ones; without background tasks every task is
    // invalid and ending it does nothing.
    explicit ZarnPSystemBackgroundTaskDao(std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                                          std::shared_ptr<platform::BackgroundTasks> backgroundTasks,
                                          std::shared_ptr<platform::Application> application);
    ~ZarnPSystemBackgroundTaskDao() override;

    std::shared_ptr<ZarnPBackgroundTask> startBackgroundTask() override;
    void endBackgroundTask(platform::BackgroundTaskIdentifier identifier) override;
    // The kill timer's callback (main thread).
    void endBackgroundTaskFromTimer(const ZarnPKillHandler& killHandler);

    // For tests and diagnostics.
    size_t activeKillTimerCount();

  private:
    void expirationHandler(platform::BackgroundTaskIdentifier identifier);

    std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    std::shared_ptr<platform::BackgroundTasks> backgroundTasks_;
    std::shared_ptr<platform::Application> application_;
    Mutex mutex_;
    std::set<platform::BackgroundTaskIdentifier> running_ ZARN_GUARDED_BY(mutex_);
    std::map<platform::BackgroundTaskIdentifier, std::shared_ptr<platform::Timer>> activeTaskKillTimers_
        ZARN_GUARDED_BY(mutex_);
};

}  // namespace zarn
