#pragma once
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "core/Uuid.h"
#include "platform/Mutex.h"
#include "zarn/Date.h"

namespace zarn {

// The tracking context of one run (a region entry, a push, a user action): what triggered it,
// how many parts of the run are still working (counted by the context service),
// and the debug-log text collected for its "debuglog_entry" event. Held by std::shared_ptr.
//
// Threads: the count and the log are changed on the SDK thread; the count is atomic and the
// log guarded, so any thread may read them (and append). The trigger context and the creation
// date are set on the SDK thread only; reading them from other threads is safe.
class ZarnPContext {
  public:
    // initWithContext:andTriggerDetails: a new random UUID, created at `creationDate` (the
    // context service's clock).
    ZarnPContext(unsigned triggerContext, std::optional<std::string> triggerDetails, Date creationDate);
    // The same with the identity and the creation date given (tests, replay).
    ZarnPContext(unsigned triggerContext, std::optional<std::string> triggerDetails, Uuid uuid,
                 Date creationDate);
    ~ZarnPContext();
    ZarnPContext(const ZarnPContext&) = delete;
    ZarnPContext& operator=(const ZarnPContext&) = delete;

    // How many contexts exist in the process now, from any thread: a run that never ends keeps
    // its context, so a leak shows here.
    static long liveCount();

    unsigned triggerContext() const { return triggerContext_.load(); }
    void setTriggerContext(unsigned triggerContext) { triggerContext_.store(triggerContext); }

    // Starts at 0; no lower bound.
    int referenceCount() const { return referenceCount_.load(); }
    void incrementReferences() { referenceCount_.fetch_add(1); }
    void decrementReferences() { referenceCount_.fetch_sub(1); }

    // The collected text: empty at first, nullopt once it has been reported.
    std::optional<std::string> collectedLog() const;
    void setCollectedLog(std::optional<std::string> log);
    // Appends to the collected text; dropped once the text has been set to nullopt.
    void appendToContextLog(const std::string& text);

    const Uuid& uuid() const { return uuid_; }
    // The UUID's upper-case 36-character text: the "context_id" that events carry.
    std::string uuidString() const { return uuid_.uuidString(); }

    Date creationDate() const;
    void setCreationDate(Date date);

    const std::optional<std::string>& triggerDetails() const { return triggerDetails_; }

    std::string description() const;

  private:
    std::atomic<unsigned> triggerContext_;
    std::atomic<int> referenceCount_{0};
    mutable Mutex mutex_;
    std::optional<std::string> collectedLog_ ZARN_GUARDED_BY(mutex_) = std::string();
    const Uuid uuid_;
    Date creationDate_ ZARN_GUARDED_BY(mutex_);
    const std::optional<std::string> triggerDetails_;
};

}  // namespace zarn
