#include "store/ZarnPSyncDeadline.h"

#include <utility>

#include "core/ZarnException.h"
#include "core/ZarnPSystemTimerDao.h"
#include "store/ZarnPSqLiteDb.h"
#include "zarn/platform/Application.h"
#include "zarn/platform/NotificationCenter.h"
#include "zarn/platform/RunLoop.h"

namespace zarn {

ZarnPSyncDeadline::ZarnPSyncDeadline(std::shared_ptr<ZarnPSqLiteDb> db,
                                     std::shared_ptr<ZarnPSystemTimerDao> timerDao,
                                     std::shared_ptr<platform::NotificationCenter> center,
                                     BackgroundHold holdBackground)
    : db_(std::move(db)),
      timerDao_(std::move(timerDao)),
      center_(std::move(center)),
      holdBackground_(std::move(holdBackground)) {
    ZARN_REQUIRE(db_);
    ZARN_REQUIRE(timerDao_);
    ZARN_REQUIRE(center_);
}

ZarnPSyncDeadline::~ZarnPSyncDeadline() {
    db_->setUnsyncedCommitListener(nullptr);
    center_->removeObserver(this);
    MutexLock lk(mutex_);
    if (timer_)
        timer_->invalidate();
}

void ZarnPSyncDeadline::start() {
    std::weak_ptr<ZarnPSyncDeadline> weak = weak_from_this();
    db_->setUnsyncedCommitListener([weak] {
        if (auto self = weak.lock())
            self->arm();
    });
    // The app stops being active on its way to the background (where it may be suspended), and
    // is there once it entered it; the second finds nothing to sync unless the first was missed.
    // The task is begun here, where the app is told, and ends with the block once the sync ran.
    auto syncOnLoop = [weak, timerDao = timerDao_, hold = holdBackground_](const platform::Broadcast&) {
        auto task = hold ? hold() : nullptr;
        timerDao->invokeBlockOnRunLoop(
            [weak, task] {
                if (auto self = weak.lock())
                    self->syncNow();
            },
            false);
    };
    center_->addObserver(this, platform::kApplicationWillResignActiveNotification, syncOnLoop);
    center_->addObserver(this, platform::kApplicationDidEnterBackgroundNotification, syncOnLoop);
}

void ZarnPSyncDeadline::arm() {
    MutexLock lk(mutex_);
    if (timer_)
        return;
    std::weak_ptr<ZarnPSyncDeadline> weak = weak_from_this();
    timer_ = timerDao_->runLoop()->addTimer(kDelay, false, [weak] {
        if (auto self = weak.lock())
            self->syncNow();
    });
}

void ZarnPSyncDeadline::syncNow() {
    {
        MutexLock lk(mutex_);
        if (timer_)
            timer_->invalidate();
        timer_.reset();
    }
    // A sync that failed leaves the commits unsynced: they wait for the next deadline.
    if (!db_->syncUnsyncedCommits())
        arm();
}

}  // namespace zarn
