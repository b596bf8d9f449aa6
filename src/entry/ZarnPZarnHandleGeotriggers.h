#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Mutex.h"
#include "zarn/NotificationRequest.h"
#include "zarn/ZarnHooks.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;
namespace platform {
class NotificationCenter;
}

// The geotrigger hook the app receives. Its first answer carries the run's background task to
// the facade through "Zarn_Offered_Geotrigger_Handled"; a later answer goes without it and is
// not processed. Only geotriggers it offered can be marked handled. Its release posts
// "Zarn_Offered_Geotrigger_Dealloc". Any thread.
class ZarnPZarnHandleGeotriggers final : public ZarnHandleGeotriggers,
                                         public std::enable_shared_from_this<ZarnPZarnHandleGeotriggers> {
  public:
    // initWithGeotriggers:backgroundTask:zarnContext:, posting on `center` (required).
    ZarnPZarnHandleGeotriggers(std::shared_ptr<platform::NotificationCenter> center,
                               std::vector<std::shared_ptr<ZarnGeotrigger>> geotriggers,
                               std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                               std::shared_ptr<ZarnPContext> zarnContext);
    ~ZarnPZarnHandleGeotriggers() override;
    ZarnPZarnHandleGeotriggers(const ZarnPZarnHandleGeotriggers&) = delete;
    ZarnPZarnHandleGeotriggers& operator=(const ZarnPZarnHandleGeotriggers&) = delete;

    // Passes on those of `geotriggers` whose "matchIdentifier" is one this hook offered, each
    // once; any other is logged at WARN and left out.
    void markGeotriggersHandled(const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers) override;
    // Adds key -> value to every geotrigger's match payload and fills its action's placeholders.
    void addToMatchPayload(const std::string& key, const Value& value) override;

    std::shared_ptr<ZarnPBackgroundTask> backgroundTask() const;
    const std::shared_ptr<ZarnPContext>& zarnContext() const { return zarnContext_; }

    // A request named by the geotrigger's "matchIdentifier" whose content carries only its
    // userInfo, without a trigger.
    static NotificationRequest geotriggerToNotificationRequest(const ZarnGeotrigger& geotrigger);

  private:
    const std::shared_ptr<platform::NotificationCenter> center_;
    const std::shared_ptr<ZarnPContext> zarnContext_;
    // Also guards the offered geotriggers (geotriggers_) that the answers read and change.
    mutable Mutex mutex_;
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask_
        ZARN_GUARDED_BY(mutex_);  // until the first answer takes it
};

}  // namespace zarn
