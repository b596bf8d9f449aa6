#pragma once
#include <functional>
#include <memory>

#include "platform/Mutex.h"

namespace zarn {

namespace platform {
class NotificationCenter;
class Timer;
}  // namespace platform

class ZarnPSqLiteDb;
class ZarnPSystemTimerDao;

// Bounds what a power loss can take back of the commits made at the Normal tier: the first one
// left unsynced arms a one-shot timer, and when it fires, kDelay later, everything committed is
// synced (one fdatasync of the log); the app leaving the foreground syncs at once, under a
// background task held from the moment it is told until the sync has run, as a suspended app may
// run no timer for long. A quiet library arms nothing. The syncs run on the SDK
// thread. Built and started once by the module; the destructor leaves the database and the
// notification centre, from any thread.
class ZarnPSyncDeadline : public std::enable_shared_from_this<ZarnPSyncDeadline> {
  public:
    // Seconds an unsynced commit waits at most.
    static constexpr double kDelay = 15 * 60;

    // Begins one of the library's background tasks on the calling thread; its handle ends it
    // when released.
    using BackgroundHold = std::function<std::shared_ptr<void>()>;

    // `holdBackground` may be empty: the syncs then run without a background task.
    ZarnPSyncDeadline(std::shared_ptr<ZarnPSqLiteDb> db, std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                      std::shared_ptr<platform::NotificationCenter> center,
                      BackgroundHold holdBackground = {});
    ~ZarnPSyncDeadline();
    ZarnPSyncDeadline(const ZarnPSyncDeadline&) = delete;
    ZarnPSyncDeadline& operator=(const ZarnPSyncDeadline&) = delete;

    // Listens to the database's unsynced commits and to the app resigning active and entering
    // the background.
    void start();
    // Syncs what is unsynced now and disarms the timer. SDK thread.
    void syncNow();

  private:
    // From inside a commit: arms the timer unless it is armed.
    void arm();

    const std::shared_ptr<ZarnPSqLiteDb> db_;
    const std::shared_ptr<ZarnPSystemTimerDao> timerDao_;
    const std::shared_ptr<platform::NotificationCenter> center_;
    const BackgroundHold holdBackground_;
    Mutex mutex_;
    std::shared_ptr<platform::Timer> timer_ ZARN_GUARDED_BY(mutex_);
};

}  // namespace zarn
