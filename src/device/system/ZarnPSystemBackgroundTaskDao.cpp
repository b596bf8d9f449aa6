#include "device/system/ZarnPSystemBackgroundTaskDao.h"

#include <atomic>

#include "core/ZarnException.h"
#include "core/ZarnPLogger.h"
#include "core/ZarnPSystemTimerDao.h"
#include "device/system/ZarnPBackgroundTask.h"
#include "device/system/ZarnPKillHandler.h"
#include "zarn/Value.h"
#include "zarn/platform/Application.h"
#include "zarn/platform/Platform.h"

namespace zarn {

namespace {
constexpr const char* kDomain = "SystemBackgroundTaskDao";
}

ZarnPSystemBackgroundTaskDao::ZarnPSystemBackgroundTaskDao(
    std::shared_ptr<ZarnPSystemTimerDao> timerDao, std::shared_ptr<platform::BackgroundTasks> backgroundTasks,
    std::shared_ptr<platform::Application> application)
    : timerDao_(std::move(timerDao)),
      backgroundTasks_(std::move(backgroundTasks)),
      application_(std::move(application)) {
    ZARN_REQUIRE(timerDao_);
}

ZarnPSystemBackgroundTaskDao::~ZarnPSystemBackgroundTaskDao() {
    MutexLock lk(mutex_);
    for (auto& [id, timer] : activeTaskKillTimers_)
        if (timer)
            timer->invalidate();
}

std::shared_ptr<ZarnPBackgroundTask> ZarnPSystemBackgroundTaskDao::startBackgroundTask() {
    platform::BackgroundTaskIdentifier id = platform::kBackgroundTaskInvalid;
    if (backgroundTasks_) {
        // The handler sees the identifier that the begin call returns; the system calls it later,
        // on the main thread, so it reads the identifier from a shared cell.
        auto cell = std::make_shared<std::atomic<platform::BackgroundTaskIdentifier>>(
            platform::kBackgroundTaskInvalid);
        std::weak_ptr<ZarnPSystemBackgroundTaskDao> weak = weak_from_this();
        id = backgroundTasks_->beginBackgroundTask([weak, cell] {
            if (auto self = weak.lock())
                self->expirationHandler(cell->load());
        });
        cell->store(id);
        if (id != platform::kBackgroundTaskInvalid) {
            MutexLock lk(mutex_);
            running_.insert(id);
        }
    }
    LogDebug(kDomain, "Started background task with id: %d", id);
    return std::make_shared<ZarnPBackgroundTask>(id, shared_from_this());
}

void ZarnPSystemBackgroundTaskDao::expirationHandler(platform::BackgroundTaskIdentifier identifier) {
    double remaining = application_ ? application_->backgroundTimeRemaining() : 0.0;
    LogDebug(kDomain, "ExpirationHandler called. Time remaining before IOS kills this app: %f - task: %d",
             remaining, identifier);
    if (identifier == platform::kBackgroundTaskInvalid || remaining > kScheduleKillSeconds)
        return;
    if (remaining <= kKillNowSeconds) {
        LogInfo(kDomain, "Killing background task: %d", identifier);
        endBackgroundTask(identifier);
        return;
    }
    ZarnPKillHandler killHandler(identifier);
    LogInfo(kDomain, "Background task scheduled for killing: %d", identifier);
    std::weak_ptr<ZarnPSystemBackgroundTaskDao> weak = weak_from_this();
    auto timer = timerDao_->scheduledTimerWithTimeInterval(
        kKillDelaySeconds, "ZarnPSystemBackgroundTaskDao",
        [weak, killHandler] {
            if (auto self = weak.lock())
                self->endBackgroundTaskFromTimer(killHandler);
        },
        false);
    std::shared_ptr<platform::Timer> replaced;
    {
        MutexLock lk(mutex_);
        if (!running_.count(identifier)) {
            // Ended meanwhile on the SDK thread: nothing left to kill.
            replaced = timer;
        } else {
            auto& slot = activeTaskKillTimers_[identifier];
            replaced = std::exchange(slot, timer);
        }
    }
    if (replaced)
        replaced->invalidate();
}

void ZarnPSystemBackgroundTaskDao::endBackgroundTaskFromTimer(const ZarnPKillHandler& killHandler) {
    {
        MutexLock lk(mutex_);
        activeTaskKillTimers_.erase(killHandler.identifier());
    }
    endBackgroundTask(killHandler.identifier());
}

void ZarnPSystemBackgroundTaskDao::endBackgroundTask(platform::BackgroundTaskIdentifier identifier) {
    std::shared_ptr<platform::Timer> killTimer;
    {
        MutexLock lk(mutex_);
        // A task the expiry path already ended (or one never granted) is not ended again.
        if (!running_.erase(identifier))
            return;
        if (auto it = activeTaskKillTimers_.find(identifier); it != activeTaskKillTimers_.end()) {
            killTimer = std::move(it->second);
            activeTaskKillTimers_.erase(it);
        }
    }
    if (killTimer)
        killTimer->invalidate();
    if (backgroundTasks_)
        backgroundTasks_->endBackgroundTask(identifier);
    LogDebug(kDomain, "Ended background task with id: %d", identifier);
}

size_t ZarnPSystemBackgroundTaskDao::activeKillTimerCount() {
    MutexLock lk(mutex_);
    return activeTaskKillTimers_.size();
}

}  // namespace zarn
