#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Mutex.h"
#include "zarn/ZarnHooks.h"

namespace zarn {

class ZarnPBackgroundTask;
class ZarnPContext;
namespace platform {
class NotificationCenter;
}

// The filter hook the app receives. Its first answer carries the run's background task to the
// facade through "Zarn_Offered_Notification_Show"; a later answer goes without it and is not
// processed. Its release posts "Zarn_Offered_Notification_Dealloc". Any thread.
class ZarnPZarnFilterNotifications final : public ZarnFilterNotifications,
                                           public std::enable_shared_from_this<ZarnPZarnFilterNotifications> {
  public:
    // initWithNotifications:backgroundTask:zarnContext:, posting on `center` (required).
    ZarnPZarnFilterNotifications(std::shared_ptr<platform::NotificationCenter> center,
                                 std::vector<NotificationRequest> notifications,
                                 std::shared_ptr<ZarnPBackgroundTask> backgroundTask,
                                 std::shared_ptr<ZarnPContext> zarnContext);
    ~ZarnPZarnFilterNotifications() override;
    ZarnPZarnFilterNotifications(const ZarnPZarnFilterNotifications&) = delete;
    ZarnPZarnFilterNotifications& operator=(const ZarnPZarnFilterNotifications&) = delete;

    void showNotifications(const std::vector<NotificationRequest>& notifications) override;
    // Adds key -> value to every offered request's match payload and fills the placeholders of
    // its message and action with that entry; the requests keep their identifier and trigger.
    void addToMatchPayload(const std::string& key, const Value& value) override;

    std::shared_ptr<ZarnPBackgroundTask> backgroundTask() const;
    const std::shared_ptr<ZarnPContext>& zarnContext() const { return zarnContext_; }

    // The userInfo of an offered item with the match-payload entry added: "matchPayload" gains
    // the entry and "action" (and "message" when `fillMessage`) have their placeholders filled
    // from a payload holding only that entry. Absent texts stay absent.
    static Value userInfoAddingToMatchPayload(const Value& userInfo, const std::string& key,
                                              const Value& value, bool fillMessage);

  private:
    const std::shared_ptr<platform::NotificationCenter> center_;
    const std::shared_ptr<ZarnPContext> zarnContext_;
    // Also guards the offered requests (uiNotifications_) that the answers read and change.
    mutable Mutex mutex_;
    std::shared_ptr<ZarnPBackgroundTask> backgroundTask_
        ZARN_GUARDED_BY(mutex_);  // until the first answer takes it
};

}  // namespace zarn
