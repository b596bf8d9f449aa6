#pragma once
#include <memory>
#include <optional>
#include <string>

#include "core/ZarnPContext.h"
#include "core/ZarnPContextStarting.h"
#include "core/ZarnPSequenceChecker.h"
#include "core/ZarnTriggerContext.h"
#include "platform/Mutex.h"

namespace zarn {

class ZarnPClockDao;
class ZarnPEventLogging;
class ZarnPSystemTimerDao;

// Creates the tracking context of each run and counts the parts of the run still working on
// it. When the count drops below 1 the debug-log text collected for the context is stored once
// as a "debuglog_entry" event. Counting happens on the SDK thread: a decrement from any other
// thread is moved there. Contexts start on any thread; the event service and the timer DAO
// are linked during the build and may be read from any thread, hence the lock.
class ZarnPContextService : public ZarnPContextStarting,
                            public std::enable_shared_from_this<ZarnPContextService> {
  public:
    // The clock dates new contexts and is required; the event service and the timer DAO may
    // come later through their setters.
    explicit ZarnPContextService(std::shared_ptr<ZarnPClockDao> clockDao);
    ZarnPContextService(std::shared_ptr<ZarnPClockDao> clockDao,
                        std::shared_ptr<ZarnPEventLogging> eventService,
                        std::shared_ptr<ZarnPSystemTimerDao> timerDao);
    ~ZarnPContextService() override = default;
    ZarnPContextService(const ZarnPContextService&) = delete;
    ZarnPContextService& operator=(const ZarnPContextService&) = delete;

    // A new context of the trigger-context type, with a reference count of 0.
    std::shared_ptr<ZarnPContext> startContext(unsigned triggerContext) override;
    std::shared_ptr<ZarnPContext> startContext(unsigned triggerContext,
                                               std::optional<std::string> triggerDetails);

    // Adds a reference, on the caller's thread (callers increment on the SDK thread).
    void incrementContext(const std::shared_ptr<ZarnPContext>& context);
    // Drops a reference and reports when the run is over: at once on the SDK thread, otherwise
    // queued there without waiting. A null context is ignored.
    void decrementContext(const std::shared_ptr<ZarnPContext>& context);
    void decrementContextOnRunLoop(const std::shared_ptr<ZarnPContext>& context);
    // The work itself (SDK thread).
    void decrementAndLog(std::shared_ptr<ZarnPContext> context);

    // Set by the module after construction; safe from any thread.
    std::shared_ptr<ZarnPEventLogging> eventService() const;
    void setEventService(std::shared_ptr<ZarnPEventLogging> eventService);
    std::shared_ptr<ZarnPSystemTimerDao> timerDao() const;
    void setTimerDao(std::shared_ptr<ZarnPSystemTimerDao> timerDao);

  private:
    const std::shared_ptr<ZarnPClockDao> clockDao_;
    ZarnPSequenceChecker sequence_;
    mutable Mutex mutex_;
    std::shared_ptr<ZarnPEventLogging> eventService_ ZARN_GUARDED_BY(mutex_);
    std::shared_ptr<ZarnPSystemTimerDao> timerDao_ ZARN_GUARDED_BY(mutex_);
};

}  // namespace zarn
