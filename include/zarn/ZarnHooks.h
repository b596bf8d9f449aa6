#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zarn/NotificationRequest.h"
#include "zarn/Value.h"
#include "zarn/ZarnValues.h"

namespace zarn {

class ZarnDelegate;

// The library keeps no reference to a hook it hands out: the app's is the only one. So:
//  - A hook the app drops without answering (its callback returned without keeping it, or it
//    let go later) has chosen none: nothing it offered is shown or marked handled.
//  - While the app keeps a hook unanswered, the match run's background task stays begun (the
//    system may still end it when background time runs out) and nothing is shown yet.
//  - An answer is carried out whenever it comes, also after ZarnBase::disable() (the notifications
//    it chose are shown and recorded, the geotriggers recorded as handled), and is never undone.
//  - Only the first answer counts; a later one is ignored, with a DEBUG line.

// Handed to the app's filter with the notifications that matched. The app answers once with
// the ones to show; it may first add entries to their match payload. The answer may come from
// any thread, at once or later, and never waits: it is handed to the SDK thread, and a second
// answer is ignored. In this base class the answers do nothing; the library hands out its own.
// An entry added to the match payload may nest at most kMaxValueDepth (64) levels, a request
// answered or tried out at most kMaxUserInfoDepth in its userInfo; deeper ones are logged and
// left out.
class ZarnFilterNotifications {
  public:
    virtual ~ZarnFilterNotifications() = default;
    virtual const std::vector<NotificationRequest>& uiNotifications() const { return uiNotifications_; }
    virtual void showNotifications(const std::vector<NotificationRequest>& notifications);
    virtual void addToMatchPayload(const std::string& key, const Value& value);

    // Runs the delegate's filter on `notifications` with a stand-alone hook and answers what it
    // chose. Blocks the caller until the filter answers, at most 10 seconds; nothing when it did
    // not answer by then or the delegate has no filter. Any thread but the one the filter
    // answers on.
    static std::optional<std::vector<NotificationRequest>> testFilterNotifications(
        const std::vector<NotificationRequest>& notifications, const std::shared_ptr<ZarnDelegate>& delegate);

  protected:
    std::vector<NotificationRequest> uiNotifications_;
};

// Handed to the app's geotrigger handler with the geotriggers that matched; the app answers
// once with the ones it handled, from any thread, as the filter's hook does. A match payload
// entry may nest at most kMaxValueDepth (64) levels; a deeper one is logged and left out.
class ZarnHandleGeotriggers {
  public:
    virtual ~ZarnHandleGeotriggers() = default;
    virtual const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers() const { return geotriggers_; }
    virtual void markGeotriggersHandled(const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers);
    virtual void addToMatchPayload(const std::string& key, const Value& value);

    // The same for the delegate's geotrigger handler: what it marked handled, or nothing.
    static std::optional<std::vector<std::shared_ptr<ZarnGeotrigger>>> testHandleGeotriggers(
        const std::vector<std::shared_ptr<ZarnGeotrigger>>& geotriggers,
        const std::shared_ptr<ZarnDelegate>& delegate);

  protected:
    std::vector<std::shared_ptr<ZarnGeotrigger>> geotriggers_;
};

}  // namespace zarn
